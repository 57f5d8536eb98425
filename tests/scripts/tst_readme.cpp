// Every path the README and the scripts name in the build folder exists in
// a build of the README's layout (this one).

#include <QtTest>

class TestReadme : public QObject
{
    Q_OBJECT

private slots:
    void buildPathsExist_data();
    void buildPathsExist();
};

void TestReadme::buildPathsExist_data()
{
    QTest::addColumn<QString>("file");
    // Its first group is a path inside the build folder.
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("atLeast");

    QTest::newRow("README.md") << "README.md"
                               << R"re(build-release/([\w./-]*[\w/]))re" << 4;
    QTest::newRow("scripts/demo") << "scripts/demo"
                                  << R"re("\$build/([\w./-]+)")re" << 3;
    QTest::newRow("scripts/run") << "scripts/run"
                                 << R"re("\$build/([\w./-]+)")re" << 1;
    QTest::newRow("scripts/fixture-demo") << "scripts/fixture-demo"
                                          << R"re("\$build/([\w./-]+)")re" << 2;
}

void TestReadme::buildPathsExist()
{
    QFETCH(QString, file);
    QFETCH(QString, pattern);
    QFETCH(int, atLeast);

    QFile f(QStringLiteral(MOVRA_SOURCE_DIR "/") + file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QSet<QString> named;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        named.insert(it.next().captured(1));
    QVERIFY2(named.size() >= atLeast,
             qPrintable(QStringList(named.values()).join(QLatin1Char(' '))));
    for (const QString &path : qAsConst(named)) {
        QVERIFY2(QFileInfo::exists(QStringLiteral(MOVRA_BUILD_DIR "/") + path),
                 qPrintable(file + QStringLiteral(" names ") + path));
    }
}

QTEST_GUILESS_MAIN(TestReadme)
#include "tst_readme.moc"
