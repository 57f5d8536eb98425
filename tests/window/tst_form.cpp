// The main window's form as the rest of the tool and the operator rely on
// it: the objects other parts find by name, the captions, ranges, items and
// initial states, every caption readable at its size, and the window's
// slot table.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTextEdit>
#include <QTextLayout>
#include <QtTest>
#include <memory>

#include "app/MovraTestTool.h"
#include "ui_MovraTestTool.h"

namespace {

// Every named object of the form, by class.
const char *const kObjects[][2] = {
    {"QAction", "disconnect action connect action_2"},
    {"QWidget", "centralWidget layoutWidget layoutWidget1 layoutWidget2 horizontalLayoutWidget "
                "horizontalLayoutWidget_2"},
    {"QFrame", "line line_3"},
    {"QHBoxLayout", "horizontalLayout_2 horizontalLayout_3 horizontalLayout horizontalLayout_4 "
                    "horizontalLayout_5"},
    {"QGridLayout", "gridLayout_5 gridLayout_4"},
    {"QGroupBox", "groupBox_3 groupBox_2 groupBox"},
    {"QLabel", "comNum_2 Label_Braud label_15 label label_Temp label_9 label_2 label_Humidy "
               "label_5 label_12 label_14 label_11 label_13 label_18 label_17 label_16 label_4 "
               "label_19 label_6 label_3 label_20 label_21"},
    {"QComboBox", "SerialComNum BraudRate_1 braudRate_2 BraudRate_5 BraudRate_3 BraudRate_4"},
    {"QPushButton", "autoConnectButton connectButton disConnectButton manualReadButton readButton "
                    "writeButton pushButton readButton_2"},
    {"QSpinBox", "readAddress_1 readAddress_2 humiOffset_1 tempOffset_1 TempOffset_2 "
                 "HumiOffset_2 readAddress_3 readTempInterval readHumiInterval"},
    {"QCheckBox", "checkBox checkBox_2 checkBox_3 checkBox_4 checkBox_5 checkBox_6 checkBox_7 "
                  "checkBox_8 checkBox_9 checkBox_10"},
    {"QLineEdit", "BaseTemp OffsetTemp BaseHumi OffsetHumi"},
    {"QTextEdit", "textEdit"},
    {"QStatusBar", "statusBar"},
};

// What the operator reads on each object.
const char *const kCaptions[][2] = {
    {"disconnect", "断开"},
    {"action", "日志保存"},
    {"connect", "连接"},
    {"action_2", "退出"},
    // Connection bar.
    {"comNum_2", "端口:"},
    {"Label_Braud", "波特率："},
    {"autoConnectButton", "自动连接"},
    {"connectButton", "连接设备"},
    {"disConnectButton", "断开连接"},
    // Live reading bar.
    {"label_15", "站号："},
    {"label", "温度："},
    {"label_Temp", "0"},
    {"label_9", "℃"},
    {"label_2", "湿度："},
    {"label_Humidy", "0"},
    {"label_5", "%"},
    {"manualReadButton", "手动读取"},
    // Device parameters: ASCII colons except station and baud rate.
    {"groupBox_3", "设备参数"},
    {"checkBox_8", "连接时读参数"},
    {"readButton", "读取"},
    {"label_11", "站号："},
    {"label_13", "波特率："},
    {"label_12", "温度微调:"},
    {"label_14", "湿度微调:"},
    {"label_18", "温湿度对调:"},
    // Change parameters: full-width colons except the order box.
    {"groupBox_2", "修改参数"},
    {"pushButton", "打开测试模式"},
    {"writeButton", "写入"},
    {"checkBox", "站号："},
    {"checkBox_2", "波特率："},
    {"checkBox_3", "温度微调："},
    {"checkBox_4", "湿度微调："},
    {"checkBox_7", "温湿度对调:"},
    // Automatic reading and the reference bar.
    {"groupBox", "温湿度自动读取"},
    {"checkBox_5", "温度读取间隔："},
    {"label_17", "秒"},
    {"checkBox_6", "湿度读取间隔："},
    {"label_16", "秒"},
    {"readButton_2", "清除窗口"},
    {"checkBox_10", "温度基准："},
    {"label_4", "℃"},
    {"label_19", "误差："},
    {"label_6", "℃"},
    {"checkBox_9", "湿度基准："},
    {"label_3", "%"},
    {"label_20", "误差："},
    {"label_21", "%"},
};

// Display-only controls start disabled or read-only; the station box of the
// write side is the one switch that starts on.
const QStringList kDisabled{"manualReadButton", "readAddress_2", "braudRate_2",
                            "tempOffset_1",     "humiOffset_1",  "BraudRate_5"};
const QStringList kReadOnly{"readAddress_2", "tempOffset_1", "humiOffset_1", "textEdit"};
const QStringList kChecked{"checkBox"};

// The window's slots in declaration order: the meta-object indices.
const char *const kSlots[] = {
    "_10msTimerCallback()",           "onConnectButtonClicked()",
    "onautoConnectButtonClicked()",   "onDisConnectButtonClicked()",
    "onReadButtonClicked()",          "onWriteButtonClicked()",
    "onAutoReadButtonClicked()",      "onmanualReadButtonClicked()",
    "onInputPasswordButtonClicked()", "onSerialComNumChanged(int)",
    "onBraudRate_1Changed(int)",      "onWBraudRate_1Changed(int)",
    "onDevAddressChanged(int)",       "onWDevAddressChanged(int)",
    "onWHumiOffsetChanged(int)",      "onWTempOffsetChanged(int)",
    "onRHumiIntervalChanged(int)",    "onRTempIntervalChanged(int)",
    "onWTempHumiRevertChanged(int)",  "Base_Offset_TempHumiChanged(QString)",
    "devNumCheckClicked()",           "braudRateCheckClicked()",
    "tempOffsetCheckClicked()",       "humiOffsetCheckClicked()",
    "readTempIntervalCheckClicked()", "writeTempHumiRevertCheckClicked()",
};

QString captionOf(const QObject *object)
{
    if (auto *label = qobject_cast<const QLabel *>(object))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(object))
        return button->text();
    if (auto *group = qobject_cast<const QGroupBox *>(object))
        return group->title();
    if (auto *action = qobject_cast<const QAction *>(object))
        return action->text();
    return QString();
}

// Names Qt gives the insides of composite widgets are not the form's.
bool isFormName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
           !name.startsWith(QLatin1Char('_'));
}

QStringList names(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Up to the last pixel of a caption's ink in the widget's own font, less
// the antialiased edge: the blank half of a full-width colon and the edge
// of its dots may be clipped (湿度基准： loses one pixel column of its
// colon), a character may not.
constexpr int kEdgePixels = 2;
int inkWidth(const QWidget *widget, const QString &caption)
{
    return widget->fontMetrics().tightBoundingRect(caption).right() + 1 - kEdgePixels;
}

// Where the caption is drawn: beside a check box's indicator, else inside
// the frame.
int textWidth(QWidget *widget)
{
    if (auto *box = qobject_cast<QCheckBox *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
    }
    return widget->contentsRect().width();
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<QMainWindow> window;
    Ui::MovraTestToolClass ui;

    template <typename T = QObject> T *named(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

private slots:
    void initTestCase();

    void objects_data();
    void objects();
    void noOtherNamedObjects();
    void captions_data();
    void captions();
    void spinBoxes_data();
    void spinBoxes();
    void comboItems_data();
    void comboItems();
    void initialStates_data();
    void initialStates();
    void windowSize();
    void captionsFitAndRender();

    void windowSlots_data();
    void windowSlots();
    void windowHasNoOtherMembers();
};

void TestForm::initTestCase()
{
    window = std::make_unique<QMainWindow>();
    ui.setupUi(window.get());
}

void TestForm::objects_data()
{
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QStringList>("objects");
    for (const auto &row : kObjects)
        QTest::newRow(row[0]) << QByteArray(row[0]) << names(row[1]);
}

void TestForm::objects()
{
    QFETCH(QByteArray, className);
    QFETCH(QStringList, objects);

    for (const QString &name : objects) {
        // Other parts look objects up by name: exactly one, of this class.
        const QList<QObject *> found = window->findChildren<QObject *>(name);
        QVERIFY2(found.size() == 1, qPrintable(name));
        QCOMPARE(QByteArray(found.first()->metaObject()->className()), className);
    }
}

void TestForm::noOtherNamedObjects()
{
    QStringList expected;
    for (const auto &row : kObjects)
        expected << names(row[1]);
    QStringList actual;
    for (QObject *object : window->findChildren<QObject *>()) {
        if (isFormName(object->objectName()))
            actual << object->objectName();
    }
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(window->objectName(), QStringLiteral("MovraTestToolClass"));
}

void TestForm::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    for (const auto &row : kCaptions)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
}

void TestForm::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    QObject *object = named(name);
    QVERIFY(object);
    QCOMPARE(captionOf(object), caption);
}

void TestForm::spinBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    // Stations, corrections in tenths, and intervals in seconds.
    for (const char *name : {"readAddress_1", "readAddress_2", "readAddress_3"})
        QTest::newRow(name) << name << 1 << 254 << 1;
    for (const char *name : {"tempOffset_1", "humiOffset_1", "TempOffset_2", "HumiOffset_2"})
        QTest::newRow(name) << name << -100 << 100 << 0;
    for (const char *name : {"readTempInterval", "readHumiInterval"})
        QTest::newRow(name) << name << 1 << 10000 << 10;
}

void TestForm::spinBoxes()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);

    auto *spin = named<QSpinBox>(name);
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->value(), value);
}

void TestForm::comboItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");

    // The items are looked up by index: rates in the order of their codes.
    const QStringList rates{"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    const QStringList orders{QString::fromUtf8("硬件决定"), QString::fromUtf8("湿度在前"),
                             QString::fromUtf8("温度在前")};
    QTest::newRow("SerialComNum") << "SerialComNum" << QStringList{QString::fromUtf8("刷新串口")};
    for (const char *name : {"BraudRate_1", "braudRate_2", "BraudRate_3"})
        QTest::newRow(name) << name << rates;
    for (const char *name : {"BraudRate_5", "BraudRate_4"})
        QTest::newRow(name) << name << orders;
}

void TestForm::comboItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);

    auto *combo = named<QComboBox>(name);
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!combo->isEditable());
}

void TestForm::initialStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("checked");

    const char *const kinds[] = {"QPushButton", "QComboBox", "QSpinBox",
                                 "QCheckBox",   "QLineEdit", "QTextEdit"};
    for (const auto &row : kObjects) {
        if (std::find_if(std::begin(kinds), std::end(kinds), [&row](const char *kind) {
                return qstrcmp(kind, row[0]) == 0;
            }) == std::end(kinds))
            continue;
        for (const QString &name : names(row[1]))
            QTest::newRow(qPrintable(name)) << name << !kDisabled.contains(name)
                                            << kReadOnly.contains(name) << kChecked.contains(name);
    }
}

void TestForm::initialStates()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    QFETCH(bool, readOnly);
    QFETCH(bool, checked);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->isEnabled(), enabled);
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        QCOMPARE(spin->isReadOnly(), readOnly);
    if (auto *pane = qobject_cast<QTextEdit *>(widget))
        QCOMPARE(pane->isReadOnly(), readOnly);
    if (auto *box = qobject_cast<QCheckBox *>(widget)) {
        QCOMPARE(box->isChecked(), checked);
        QVERIFY(!box->isTristate());
    }
    // Enter connects.
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->isDefault(), name == QLatin1String("connectButton"));
}

void TestForm::windowSize()
{
    QCOMPARE(window->windowTitle(), QString::fromUtf8("Ardeno温湿度工具"));
    QCOMPARE(window->size(), QSize(610, 780));
    QCOMPARE(window->minimumSize(), QSize(600, 350));
    QCOMPARE(window->maximumSize(), QSize(610, 780));
    QCOMPARE(window->centralWidget(), ui.centralWidget);
    QCOMPARE(window->statusBar(), ui.statusBar);
}

void TestForm::captionsFitAndRender()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    // Each caption whole on screen, drawn with real glyphs (a CJK font, by
    // fallback if need be) rather than boxes.
    QStringList cut;
    QStringList missing;
    int checked = 0;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QString caption = captionOf(widget);
        if (caption.isEmpty() || qobject_cast<QGroupBox *>(widget))
            continue;
        ++checked;
        if (inkWidth(widget, caption) > textWidth(widget))
            cut << QStringLiteral("%1=%2 (%3 > %4 px)")
                       .arg(widget->objectName(), caption)
                       .arg(inkWidth(widget, caption))
                       .arg(textWidth(widget));
        QTextLayout layout(caption, widget->font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        bool ok = !runs.isEmpty();
        for (const QGlyphRun &run : runs) {
            ok = ok && run.rawFont().isValid();
            for (quint32 glyph : run.glyphIndexes())
                ok = ok && glyph != 0;
        }
        if (!ok)
            missing << widget->objectName() + QLatin1Char('=') + caption;
    }
    QCOMPARE(checked, 40); // 22 labels, 8 buttons, 10 check boxes
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1String(", "))));
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
    // "温度：" and "湿度：" differ in their first character only.
    QVERIFY(ui.label->grab().toImage() != ui.label_2->grab().toImage());
    window->hide();
}

void TestForm::windowSlots_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("signature");
    int index = 0;
    for (const char *s : kSlots) {
        QTest::addRow("%d %s", index, s) << index << QByteArray(s);
        ++index;
    }
}

void TestForm::windowSlots()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);

    const QMetaObject &mo = MovraTestTool::staticMetaObject;
    const QMetaMethod m = mo.method(mo.methodOffset() + index);
    QCOMPARE(m.methodSignature(), signature);
    QCOMPARE(m.methodType(), QMetaMethod::Slot);
    QCOMPARE(m.access(), QMetaMethod::Private);
    QCOMPARE(m.returnType(), int(QMetaType::Void));
}

void TestForm::windowHasNoOtherMembers()
{
    // Exactly the 26 slots: no signals, no further slots or invokables (the
    // engine's handlers are plain member functions), no properties.
    const QMetaObject &mo = MovraTestTool::staticMetaObject;
    QCOMPARE(mo.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(mo.methodCount() - mo.methodOffset(), int(std::size(kSlots)));
    QCOMPARE(mo.propertyCount(), mo.propertyOffset());
    QCOMPARE(mo.enumeratorCount(), mo.enumeratorOffset());
    QCOMPARE(mo.classInfoCount(), mo.classInfoOffset());
    QCOMPARE(mo.constructorCount(), 0);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
