// The English texts: the translation file complete and in step with the
// sources, and in both languages every caption of the tool's windows as wide
// as it asks to be.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "Rig.h"
#include "TestSupport.h"
#include "WindowTestCase.h"
#include "app/Language.h"
#include "app/MovraTestTool.h"
#include "ui/CalibrationWindow.h"
#include "ui/RecordsWindow.h"
#include "ui/TrendWindow.h"

namespace {

const QString kTs = QStringLiteral(MOVRA_SOURCE_DIR "/translations/movra_en.ts");

QStringList placeholders(const QString &text)
{
    QStringList found;
    auto it = QRegularExpression(QStringLiteral("%\\d")).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    return found;
}

// The tool's own windows open from the log pane's menu: its last items.
QWidget *openWindow(MovraTestTool &w, const QString &which)
{
    if (which == QLatin1String("main"))
        return &w;
    const QList<QAction *> items = w.findChild<QTextEdit *>()->findChild<QMenu *>()->actions();
    const int fromEnd = which == QLatin1String("records") ? 3
                        : which == QLatin1String("trend") ? 2
                                                          : 1;
    items.at(items.size() - fromEnd)->trigger();
    if (which == QLatin1String("records"))
        return w.findChild<RecordsWindow *>();
    if (which == QLatin1String("trend"))
        return w.findChild<TrendWindow *>();
    return w.findChild<CalibrationWindow *>();
}

} // namespace

class TestLanguage : public movratest::WindowTestCase
{
    Q_OBJECT

private slots:
    void chosenLanguage_data();
    void chosenLanguage();
    void translationsFinished();
    void translationsUpToDate();
    void captionsFit_data();
    void captionsFit();
    void englishLog();
};

void TestLanguage::chosenLanguage_data()
{
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QByteArray>("stationIni");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing said") << QString() << QByteArray() << "zh";
    QTest::newRow("environment") << "en" << QByteArray("[ui]\nlanguage=zh\n") << "en";
    QTest::newRow("Station.ini") << QString() << QByteArray("[ui]\nlanguage=en\n") << "en";
    QTest::newRow("unknown is Chinese") << "fr" << QByteArray() << "zh";
}

void TestLanguage::chosenLanguage()
{
    QFETCH(QString, environment);
    QFETCH(QByteArray, stationIni);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Station.ini"));
    if (!stationIni.isEmpty()) {
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(stationIni);
    }
    QCOMPARE(movra::chosenLanguage(environment, ini), expected);
}

// Each text translated, none left unfinished, and each translation shows the
// numbers its source shows.
void TestLanguage::translationsFinished()
{
    QFile file(kTs);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString context, source;
    QStringList faults;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == QLatin1String("translation")) {
            ++messages;
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (!type.isEmpty() || text.isEmpty())
                faults << context + QLatin1Char('/') + source + QLatin1String(": ") +
                              (type.isEmpty() ? QStringLiteral("empty") : type);
            else if (placeholders(text) != placeholders(source))
                faults << context + QLatin1Char('/') + source + QLatin1String(": numbers");
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 200);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

// lupdate on a copy changes nothing: every text of the sources is in the
// file, and the file holds no text the sources lost.
void TestLanguage::translationsUpToDate()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("movra_en.ts"));
    QVERIFY(QFile::copy(kTs, copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(MOVRA_SOURCE_DIR "/scripts/update-translations"), {copy});
    QVERIFY(lupdate.waitForFinished(120000));
    QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());
    QCOMPARE(movratest::fileBytes(copy), movratest::fileBytes(kTs));
}

void TestLanguage::captionsFit_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("window");
    // What the described form itself leaves narrower than Qt's hint; its
    // test (tst_form) sees each of these captions drawn whole.
    QTest::addColumn<QStringList>("asDescribed");
    const QStringList form = {QStringLiteral("checkBox_5"), QStringLiteral("checkBox_6"),
                              QStringLiteral("checkBox_9"), QStringLiteral("checkBox_10")};
    for (const char *language : {"zh", "en"}) {
        for (const char *window : {"main", "records", "trend", "calibration"}) {
            const bool described = language == QByteArray("zh") && window == QByteArray("main");
            QTest::addRow("%s %s", language, window)
                << language << window << (described ? form : QStringList());
        }
    }
}

// At the window's default size, no label, button, check box or box title is
// narrower than its size hint.
void TestLanguage::captionsFit()
{
    QFETCH(QString, language);
    QFETCH(QString, window);
    QFETCH(QStringList, asDescribed);
    QVERIFY(movra::useLanguage(language));
    const auto w = movratest::makeWindow();
    QWidget *shown = openWindow(*w, window);
    QVERIFY(shown);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QStringList narrow;
    int checked = 0;
    for (QWidget *widget : shown->findChildren<QWidget *>()) {
        QString text;
        int width = widget->width();
        if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            text = button->text();
        else if (auto *box = qobject_cast<QGroupBox *>(widget))
            text = box->title();
        if (text.isEmpty() || !widget->isVisibleTo(shown))
            continue;
        ++checked;
        const int hint = qobject_cast<QGroupBox *>(widget) ? widget->minimumSizeHint().width()
                                                           : widget->sizeHint().width();
        if (width < hint && !asDescribed.contains(widget->objectName()))
            narrow << QStringLiteral("%1 \"%2\" %3 < %4")
                          .arg(widget->objectName(), text)
                          .arg(width)
                          .arg(hint);
    }
    QVERIFY(checked >= 8);
    QVERIFY2(narrow.isEmpty(), qPrintable(narrow.join(QLatin1String(", "))));
    shown->close();
    QVERIFY(movra::useLanguage(QStringLiteral("zh")));
}

// A session in English logs no Chinese: a text lupdate cannot find (behind a
// macro, say) would stay Chinese while the .ts looks complete.
void TestLanguage::englishLog()
{
    QVERIFY(movra::useLanguage(QStringLiteral("en")));
    movratest::Rig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.connectAt(9600));
    QVERIFY(rig.manualRead());
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
