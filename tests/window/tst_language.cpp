// The English texts: the .ts finished and in step with the sources, captions
// as wide as they ask to be in both languages, and no Chinese left in English.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "Rig.h"
#include "TestSupport.h"
#include "WindowTestCase.h"
#include "app/Language.h"

namespace {
const QString kTs = QStringLiteral(MOVRA_SOURCE_DIR "/translations/movra_en.ts");

QStringList placeholders(const QString &text)
{
    QStringList found;
    for (auto it = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text); it.hasNext();)
        found << it.next().captured();
    found.sort();
    return found;
}
} // namespace

class TestLanguage : public movratest::WindowTestCase
{
    Q_OBJECT

private slots:
    void chosenLanguage();
    void translationsFinishedAndUpToDate();
    void captionsFit_data();
    void captionsFit();
    void englishLog();
};

void TestLanguage::chosenLanguage()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Station.ini"));
    QCOMPARE(movra::chosenLanguage(QString(), ini), QStringLiteral("zh"));
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[ui]\nlanguage=en\n") > 0);
    f.close();
    QCOMPARE(movra::chosenLanguage(QString(), ini), QStringLiteral("en"));
    QCOMPARE(movra::chosenLanguage(QStringLiteral("zh"), ini), QStringLiteral("zh"));
}

// Every text translated with the numbers of its source, and lupdate on a copy
// changes nothing: no text of the sources missing, none they lost kept.
void TestLanguage::translationsFinishedAndUpToDate()
{
    QStringList faults;
    auto it =
        QRegularExpression(QStringLiteral("<source>(.*?)</source>\\s*<translation([^>]*)>(.*?)<"),
                           QRegularExpression::DotMatchesEverythingOption)
            .globalMatch(QString::fromUtf8(movratest::fileBytes(kTs)));
    int messages = 0;
    for (; it.hasNext(); ++messages) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(2).isEmpty() || m.captured(3).isEmpty() ||
            placeholders(m.captured(1)) != placeholders(m.captured(3)))
            faults << m.captured(1) + QLatin1String(" -> ") + m.captured(3);
    }
    QVERIFY(messages > 200);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("movra_en.ts"));
    QVERIFY(QFile::copy(kTs, copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(MOVRA_SOURCE_DIR "/scripts/update-translations"), {copy});
    QVERIFY(lupdate.waitForFinished(120000) && lupdate.exitCode() == 0);
    QCOMPARE(movratest::fileBytes(copy), movratest::fileBytes(kTs));
}

void TestLanguage::captionsFit_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("window"); // the log menu's item from the end; 0: the main window
    // The described form's own, narrower than their hint (tst_form sees them whole).
    QTest::addColumn<QStringList>("asDescribed");
    const QStringList form =
        QString::fromLatin1("checkBox_5 checkBox_6 checkBox_9 checkBox_10").split(QLatin1Char(' '));
    for (const char *language : {"zh", "en"}) {
        for (int window : {0, 3, 2, 1})
            QTest::addRow("%s %d", language, window)
                << language << window
                << (language == QByteArray("zh") && window == 0 ? form : QStringList());
    }
}

// At the default size no label, button, check box or box is narrower than its hint.
void TestLanguage::captionsFit()
{
    QFETCH(QString, language);
    QFETCH(int, window);
    QFETCH(QStringList, asDescribed);
    QVERIFY(movra::useLanguage(language));
    const auto w = movratest::makeWindow();
    QWidget *shown = w.get();
    if (window > 0) {
        const auto items = w->findChild<QTextEdit *>()->findChild<QMenu *>()->actions();
        items.at(items.size() - window)->trigger();
        for (QWidget *child : w->findChildren<QWidget *>())
            shown = child->isWindow() && child->isVisible() ? child : shown;
    }
    shown->show();
    QVERIFY(shown != w.get() || window == 0);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QStringList narrow;
    for (QWidget *widget : shown->findChildren<QWidget *>()) {
        auto *box = qobject_cast<QGroupBox *>(widget);
        const QString text = box ? box->title() : widget->property("text").toString();
        const int hint = box ? box->minimumSizeHint().width() : widget->sizeHint().width();
        if ((box || qobject_cast<QLabel *>(widget) || qobject_cast<QAbstractButton *>(widget)) &&
            !text.isEmpty() && widget->isVisibleTo(shown) && widget->width() < hint &&
            !asDescribed.contains(widget->objectName()))
            narrow << QStringLiteral("%1 %2 < %3").arg(text).arg(widget->width()).arg(hint);
    }
    QVERIFY2(narrow.isEmpty(), qPrintable(narrow.join(QLatin1String(", "))));
    QVERIFY(movra::useLanguage(QStringLiteral("zh")));
}

// A session in English logs no Chinese: a text lupdate cannot find (behind a
// macro, say) would stay Chinese while the .ts looks complete.
void TestLanguage::englishLog()
{
    QVERIFY(movra::useLanguage(QStringLiteral("en")));
    movratest::Rig rig;
    QVERIFY(rig.start() && rig.connectAt(9600) && rig.manualRead());
    rig.ui().readButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchReadActive(); }, 200) > 0);
    rig.ui().checkBox_3->click();
    rig.ui().checkBox_7->click();
    rig.ui().writeButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchWriteActive(); }, 300) > 0);
    const QString log = movratest::logText(*rig.w);
    QVERIFY(log.contains(QStringLiteral("Value order: ")));
    QVERIFY2(!log.contains(QRegularExpression(QStringLiteral("\\p{Han}"))), qPrintable(log));
    QVERIFY(movra::useLanguage(QStringLiteral("zh")));
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
