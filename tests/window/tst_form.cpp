// The main window's form on its own: the widget tree, the initial state of
// every control and the texts, as the rest of the tool expects them.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRawFont>
#include <QSpacerItem>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolBar>
#include <QTranslator>
#include <QtTest>
#include <memory>
#include <vector>

#include "ui_MovraTestTool.h"

Q_DECLARE_METATYPE(QMargins)

namespace {

const char kContext[] = "MovraTestToolClass";
const QString kSpacer = QStringLiteral("<spacer>");

QStringList baudItems()
{
    return {QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("9600"),
            QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("57600"),
            QStringLiteral("115200")};
}

QStringList orderItems()
{
    return {QStringLiteral("硬件决定"), QStringLiteral("湿度在前"), QStringLiteral("温度在前")};
}

// The text an operator reads on the object, whatever its kind.
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

// Names given by Qt to the insides of composite widgets are not the form's.
bool isFormName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
           !name.startsWith(QLatin1Char('_'));
}

struct Lookup
{
    QByteArray context;
    QString source;
    QByteArray disambiguation;
    int n;
};

const QString kMark = QStringLiteral(" [tr]");

// Marks every translation it gives, so each text shows whether it was looked up,
// and notes every lookup.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        lookups.push_back({context, QString::fromUtf8(sourceText), disambiguation, n});
        return QString::fromUtf8(sourceText) + kMark;
    }
    bool isEmpty() const override { return false; }

    mutable std::vector<Lookup> lookups;
};

QImage renderedGlyphs(const QString &text, const QFont &font)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 4, metrics.height() + 4,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(2, 2 + metrics.ascent(), text);
    return image;
}

int darkPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                ++count;
    return count;
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

    struct Node
    {
        const char *name;
        QObject *object;
        const char *className;
        const char *parentName;
    };

    std::unique_ptr<QMainWindow> window;
    Ui::MovraTestToolClass ui;

    std::vector<Node> objectTable() const;
    template <typename T> T *named(const QString &name) const
    {
        return window->findChild<T *>(name);
    }
    QLayout *layoutNamed(const QString &name) const { return named<QLayout>(name); }

private slots:
    void initTestCase();

    void objectTree_data();
    void objectTree();
    void noNamedObjectsBeyondTheForm();
    void creationOrder_data();
    void creationOrder();
    void focusFollowsCreationOrder_data();
    void focusFollowsCreationOrder();

    void windowProperties_data();
    void windowProperties();
    void windowHasOnlyAStatusBar();
    void fixedGeometry_data();
    void fixedGeometry();
    void sizeLimits_data();
    void sizeLimits();
    void sizePolicies_data();
    void sizePolicies();
    void separators_data();
    void separators();

    void layoutSpacingAndMargins_data();
    void layoutSpacingAndMargins();
    void rowOrder_data();
    void rowOrder();
    void gridCells_data();
    void gridCells();
    void spacers();

    void captions_data();
    void captions();
    void whatsThis_data();
    void whatsThis();
    void comboItems_data();
    void comboItems();
    void spinBoxes_data();
    void spinBoxes();
    void enabledState_data();
    void enabledState();
    void checkedState_data();
    void checkedState();
    void pushButtons_data();
    void pushButtons();
    void lineEdits_data();
    void lineEdits();
    void logPane();
    void actionsArePlacedNowhere_data();
    void actionsArePlacedNowhere();
    void noToolTipsStyleSheetsOrShortcuts();
    void everyTextGoesThroughTranslation();

    void resizingKeepsBlocksInPlace();
    void captionsRenderWithCjkGlyphs();
};

std::vector<TestForm::Node> TestForm::objectTable() const
{
#define NODE(member, cls, parent)                                                                  \
    Node                                                                                           \
    {                                                                                              \
#member, ui.member, cls, parent                                                            \
    }
    return {
        NODE(disconnect, "QAction", "MovraTestToolClass"),
        NODE(action, "QAction", "MovraTestToolClass"),
        NODE(connect, "QAction", "MovraTestToolClass"),
        NODE(action_2, "QAction", "MovraTestToolClass"),
        NODE(centralWidget, "QWidget", "MovraTestToolClass"),
        NODE(line, "QFrame", "centralWidget"),
        NODE(line_3, "QFrame", "centralWidget"),
        NODE(layoutWidget, "QWidget", "centralWidget"),
        NODE(horizontalLayout_2, "QHBoxLayout", "layoutWidget"),
        NODE(comNum_2, "QLabel", "layoutWidget"),
        NODE(SerialComNum, "QComboBox", "layoutWidget"),
        NODE(Label_Braud, "QLabel", "layoutWidget"),
        NODE(BraudRate_1, "QComboBox", "layoutWidget"),
        NODE(autoConnectButton, "QPushButton", "layoutWidget"),
        NODE(connectButton, "QPushButton", "layoutWidget"),
        NODE(disConnectButton, "QPushButton", "layoutWidget"),
        NODE(layoutWidget1, "QWidget", "centralWidget"),
        NODE(horizontalLayout_3, "QHBoxLayout", "layoutWidget1"),
        NODE(label_15, "QLabel", "layoutWidget1"),
        NODE(readAddress_1, "QSpinBox", "layoutWidget1"),
        NODE(label, "QLabel", "layoutWidget1"),
        NODE(label_Temp, "QLabel", "layoutWidget1"),
        NODE(label_9, "QLabel", "layoutWidget1"),
        NODE(label_2, "QLabel", "layoutWidget1"),
        NODE(label_Humidy, "QLabel", "layoutWidget1"),
        NODE(label_5, "QLabel", "layoutWidget1"),
        NODE(manualReadButton, "QPushButton", "layoutWidget1"),
        NODE(layoutWidget2, "QWidget", "centralWidget"),
        NODE(horizontalLayout, "QHBoxLayout", "layoutWidget2"),
        NODE(groupBox_3, "QGroupBox", "layoutWidget2"),
        NODE(gridLayout_5, "QGridLayout", "groupBox_3"),
        NODE(label_12, "QLabel", "groupBox_3"),
        NODE(readButton, "QPushButton", "groupBox_3"),
        NODE(readAddress_2, "QSpinBox", "groupBox_3"),
        NODE(label_14, "QLabel", "groupBox_3"),
        NODE(humiOffset_1, "QSpinBox", "groupBox_3"),
        NODE(braudRate_2, "QComboBox", "groupBox_3"),
        NODE(label_11, "QLabel", "groupBox_3"),
        NODE(label_13, "QLabel", "groupBox_3"),
        NODE(tempOffset_1, "QSpinBox", "groupBox_3"),
        NODE(label_18, "QLabel", "groupBox_3"),
        NODE(BraudRate_5, "QComboBox", "groupBox_3"),
        NODE(checkBox_8, "QCheckBox", "groupBox_3"),
        NODE(groupBox_2, "QGroupBox", "layoutWidget2"),
        NODE(gridLayout_4, "QGridLayout", "groupBox_2"),
        NODE(writeButton, "QPushButton", "groupBox_2"),
        NODE(checkBox_4, "QCheckBox", "groupBox_2"),
        NODE(TempOffset_2, "QSpinBox", "groupBox_2"),
        NODE(BraudRate_3, "QComboBox", "groupBox_2"),
        NODE(checkBox_3, "QCheckBox", "groupBox_2"),
        NODE(checkBox_2, "QCheckBox", "groupBox_2"),
        NODE(checkBox, "QCheckBox", "groupBox_2"),
        NODE(HumiOffset_2, "QSpinBox", "groupBox_2"),
        NODE(readAddress_3, "QSpinBox", "groupBox_2"),
        NODE(checkBox_7, "QCheckBox", "groupBox_2"),
        NODE(BraudRate_4, "QComboBox", "groupBox_2"),
        NODE(pushButton, "QPushButton", "groupBox_2"),
        NODE(groupBox, "QGroupBox", "centralWidget"),
        NODE(horizontalLayoutWidget, "QWidget", "groupBox"),
        NODE(horizontalLayout_4, "QHBoxLayout", "horizontalLayoutWidget"),
        NODE(checkBox_5, "QCheckBox", "horizontalLayoutWidget"),
        NODE(readTempInterval, "QSpinBox", "horizontalLayoutWidget"),
        NODE(label_17, "QLabel", "horizontalLayoutWidget"),
        NODE(checkBox_6, "QCheckBox", "horizontalLayoutWidget"),
        NODE(readHumiInterval, "QSpinBox", "horizontalLayoutWidget"),
        NODE(label_16, "QLabel", "horizontalLayoutWidget"),
        NODE(readButton_2, "QPushButton", "horizontalLayoutWidget"),
        NODE(textEdit, "QTextEdit", "groupBox"),
        NODE(horizontalLayoutWidget_2, "QWidget", "groupBox"),
        NODE(horizontalLayout_5, "QHBoxLayout", "horizontalLayoutWidget_2"),
        NODE(checkBox_10, "QCheckBox", "horizontalLayoutWidget_2"),
        NODE(BaseTemp, "QLineEdit", "horizontalLayoutWidget_2"),
        NODE(label_4, "QLabel", "horizontalLayoutWidget_2"),
        NODE(label_19, "QLabel", "horizontalLayoutWidget_2"),
        NODE(OffsetTemp, "QLineEdit", "horizontalLayoutWidget_2"),
        NODE(label_6, "QLabel", "horizontalLayoutWidget_2"),
        NODE(checkBox_9, "QCheckBox", "horizontalLayoutWidget_2"),
        NODE(BaseHumi, "QLineEdit", "horizontalLayoutWidget_2"),
        NODE(label_3, "QLabel", "horizontalLayoutWidget_2"),
        NODE(label_20, "QLabel", "horizontalLayoutWidget_2"),
        NODE(OffsetHumi, "QLineEdit", "horizontalLayoutWidget_2"),
        NODE(label_21, "QLabel", "horizontalLayoutWidget_2"),
        NODE(statusBar, "QStatusBar", "MovraTestToolClass"),
    };
#undef NODE
}

void TestForm::initTestCase()
{
    window = std::make_unique<QMainWindow>();
    ui.setupUi(window.get());
}

// ---- Tree --------------------------------------------------------------------

void TestForm::objectTree_data()
{
    QTest::addColumn<QObject *>("object");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("parentName");
    for (const Node &node : objectTable())
        QTest::newRow(node.name) << node.object << QString::fromLatin1(node.name)
                                 << QByteArray(node.className)
                                 << QString::fromLatin1(node.parentName);
}

void TestForm::objectTree()
{
    QFETCH(QObject *, object);
    QFETCH(QString, name);
    QFETCH(QByteArray, className);
    QFETCH(QString, parentName);

    QVERIFY(object);
    QCOMPARE(object->objectName(), name);
    QCOMPARE(QByteArray(object->metaObject()->className()), className);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parentName);
    // Other parts look widgets up by name; the name must be unique in the window.
    QCOMPARE(window->findChildren<QObject *>(name).size(), 1);
}

void TestForm::noNamedObjectsBeyondTheForm()
{
    QStringList expected;
    for (const Node &node : objectTable())
        expected << QString::fromLatin1(node.name);
    QStringList actual;
    for (QObject *object : window->findChildren<QObject *>())
        if (isFormName(object->objectName()))
            actual << object->objectName();
    expected.sort();
    actual.sort();
    QCOMPARE(actual, expected);
}

void TestForm::creationOrder_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("window") << "MovraTestToolClass"
                            << QStringList{"disconnect", "action",        "connect",
                                           "action_2",   "centralWidget", "statusBar"};
    QTest::newRow("centralWidget")
        << "centralWidget" << QStringList{"line",          "line_3",        "layoutWidget",
                                          "layoutWidget1", "layoutWidget2", "groupBox"};
    QTest::newRow("groupBox_3") << "groupBox_3"
                                << QStringList{"gridLayout_5",  "label_12", "readButton",
                                               "readAddress_2", "label_14", "humiOffset_1",
                                               "braudRate_2",   "label_11", "label_13",
                                               "tempOffset_1",  "label_18", "BraudRate_5",
                                               "checkBox_8"};
    QTest::newRow("groupBox_2") << "groupBox_2"
                                << QStringList{"gridLayout_4",  "writeButton", "checkBox_4",
                                               "TempOffset_2",  "BraudRate_3", "checkBox_3",
                                               "checkBox_2",    "checkBox",    "HumiOffset_2",
                                               "readAddress_3", "checkBox_7",  "BraudRate_4",
                                               "pushButton"};
    QTest::newRow("groupBox") << "groupBox"
                              << QStringList{"horizontalLayoutWidget", "textEdit",
                                             "horizontalLayoutWidget_2"};
}

void TestForm::creationOrder()
{
    QFETCH(QString, container);
    QFETCH(QStringList, children);

    QObject *parent = container == window->objectName() ? window.get() : named<QObject>(container);
    QVERIFY(parent);
    QStringList actual;
    for (QObject *child : parent->children())
        if (isFormName(child->objectName()))
            actual << child->objectName();
    QCOMPARE(actual, children);
}

void TestForm::focusFollowsCreationOrder_data()
{
    QTest::addColumn<QStringList>("widgets");

    QTest::newRow("groupBox_3") << QStringList{
        "label_12", "readButton", "readAddress_2", "label_14", "humiOffset_1", "braudRate_2",
        "label_11", "label_13",   "tempOffset_1",  "label_18", "BraudRate_5",  "checkBox_8"};
    QTest::newRow("groupBox_2") << QStringList{
        "writeButton", "checkBox_4",   "TempOffset_2",  "BraudRate_3", "checkBox_3",  "checkBox_2",
        "checkBox",    "HumiOffset_2", "readAddress_3", "checkBox_7",  "BraudRate_4", "pushButton"};
    QTest::newRow("reference bar") << QStringList{"checkBox_10", "BaseTemp", "OffsetTemp",
                                                  "checkBox_9",  "BaseHumi", "OffsetHumi"};
}

void TestForm::focusFollowsCreationOrder()
{
    QFETCH(QStringList, widgets);

    // No explicit tab order: the chain is the order in which the widgets were made.
    QStringList chain;
    for (QWidget *w = window->nextInFocusChain(); w && w != window.get(); w = w->nextInFocusChain())
        if (widgets.contains(w->objectName()))
            chain << w->objectName();
    QCOMPARE(chain, widgets);
}

// ---- Window and geometry -----------------------------------------------------

void TestForm::windowProperties_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("title") << QByteArray("windowTitle")
                           << QVariant(QStringLiteral("Ardeno温湿度工具"));
    QTest::newRow("size") << QByteArray("size") << QVariant(QSize(610, 780));
    QTest::newRow("minimum") << QByteArray("minimumSize") << QVariant(QSize(600, 350));
    QTest::newRow("maximum") << QByteArray("maximumSize") << QVariant(QSize(610, 780));
    QTest::newRow("modality") << QByteArray("windowModality") << QVariant(int(Qt::NonModal));
    QTest::newRow("context menu") << QByteArray("contextMenuPolicy")
                                  << QVariant(int(Qt::DefaultContextMenu));
    QTest::newRow("opacity") << QByteArray("windowOpacity") << QVariant(1.0);
    QTest::newRow("tool buttons") << QByteArray("toolButtonStyle")
                                  << QVariant(int(Qt::ToolButtonIconOnly));
    QTest::newRow("tool tip") << QByteArray("toolTip") << QVariant(QString());
    QTest::newRow("object name") << QByteArray("objectName")
                                 << QVariant(QStringLiteral("MovraTestToolClass"));
}

void TestForm::windowProperties()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    const QVariant actual = window->property(property.constData());
    QVERIFY(actual.isValid());
    if (expected.type() == QVariant::Int)
        QCOMPARE(actual.toInt(), expected.toInt());
    else
        QCOMPARE(actual, expected);
}

void TestForm::windowHasOnlyAStatusBar()
{
    QCOMPARE(window->centralWidget(), ui.centralWidget);
    // Children sit at fixed positions; a layout would move them.
    QVERIFY(!ui.centralWidget->layout());
    QVERIFY(!ui.groupBox->layout());
    QVERIFY(!window->menuWidget());
    QVERIFY(window->findChildren<QMenuBar *>().isEmpty());
    QVERIFY(window->findChildren<QToolBar *>().isEmpty());
    QCOMPARE(window->findChildren<QStatusBar *>().size(), 1);
    // statusBar() would make a new bar if the form had not installed its own.
    QCOMPARE(window->statusBar(), ui.statusBar);
}

void TestForm::fixedGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("line") << "line" << QRect(11, 90, 578, 16);
    QTest::newRow("line_3") << "line_3" << QRect(11, 340, 578, 16);
    QTest::newRow("layoutWidget") << "layoutWidget" << QRect(10, 10, 581, 30);
    QTest::newRow("layoutWidget1") << "layoutWidget1" << QRect(11, 50, 581, 30);
    QTest::newRow("layoutWidget2") << "layoutWidget2" << QRect(11, 110, 581, 221);
    QTest::newRow("groupBox") << "groupBox" << QRect(11, 360, 581, 391);
    QTest::newRow("horizontalLayoutWidget") << "horizontalLayoutWidget" << QRect(0, 20, 581, 30);
    QTest::newRow("textEdit") << "textEdit" << QRect(0, 90, 581, 301);
    QTest::newRow("horizontalLayoutWidget_2")
        << "horizontalLayoutWidget_2" << QRect(0, 50, 581, 31);
}

void TestForm::fixedGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestForm::sizeLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    const QSize none(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QTest::newRow("groupBox_3") << "groupBox_3" << QSize(250, 0) << none;
    QTest::newRow("groupBox_2") << "groupBox_2" << QSize(250, 0) << none;
    QTest::newRow("BaseTemp") << "BaseTemp" << QSize(0, 0) << QSize(60, QWIDGETSIZE_MAX);
    QTest::newRow("OffsetTemp") << "OffsetTemp" << QSize(0, 0) << QSize(50, QWIDGETSIZE_MAX);
    QTest::newRow("BaseHumi") << "BaseHumi" << QSize(0, 0) << QSize(50, QWIDGETSIZE_MAX);
    QTest::newRow("OffsetHumi") << "OffsetHumi" << QSize(0, 0) << QSize(40, QWIDGETSIZE_MAX);
}

void TestForm::sizeLimits()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
}

void TestForm::sizePolicies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSizePolicy::Policy>("horizontal");
    QTest::addColumn<QSizePolicy::Policy>("vertical");

    QTest::newRow("comNum_2") << "comNum_2" << QSizePolicy::Maximum << QSizePolicy::Preferred;
    QTest::newRow("Label_Braud") << "Label_Braud" << QSizePolicy::Maximum << QSizePolicy::Preferred;
    QTest::newRow("connectButton") << "connectButton" << QSizePolicy::Maximum << QSizePolicy::Fixed;
    QTest::newRow("readButton") << "readButton" << QSizePolicy::Maximum << QSizePolicy::Fixed;
    QTest::newRow("writeButton") << "writeButton" << QSizePolicy::Maximum << QSizePolicy::Fixed;
    QTest::newRow("readButton_2") << "readButton_2" << QSizePolicy::Maximum << QSizePolicy::Fixed;
    // Neighbours that keep their class's own policy.
    QTest::newRow("autoConnectButton")
        << "autoConnectButton" << QSizePolicy::Minimum << QSizePolicy::Fixed;
    QTest::newRow("disConnectButton")
        << "disConnectButton" << QSizePolicy::Minimum << QSizePolicy::Fixed;
    QTest::newRow("label_15") << "label_15" << QSizePolicy::Preferred << QSizePolicy::Preferred;
    QTest::newRow("pushButton") << "pushButton" << QSizePolicy::Minimum << QSizePolicy::Fixed;
}

void TestForm::sizePolicies()
{
    QFETCH(QString, name);
    QFETCH(QSizePolicy::Policy, horizontal);
    QFETCH(QSizePolicy::Policy, vertical);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    const QSizePolicy policy = widget->sizePolicy();
    QCOMPARE(policy.horizontalPolicy(), horizontal);
    QCOMPARE(policy.verticalPolicy(), vertical);
    QCOMPARE(policy.horizontalStretch(), 0);
    QCOMPARE(policy.verticalStretch(), 0);
}

void TestForm::separators_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("line") << "line";
    QTest::newRow("line_3") << "line_3";
}

void TestForm::separators()
{
    QFETCH(QString, name);

    auto *frame = named<QFrame>(name);
    QVERIFY(frame);
    QCOMPARE(frame->frameShape(), QFrame::HLine);
    QCOMPARE(frame->frameShadow(), QFrame::Sunken);
}

// ---- Layouts -----------------------------------------------------------------

void TestForm::layoutSpacingAndMargins_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QMargins>("margins");

    const QMargins flush(0, 0, 0, 0);
    const QMargins inset(11, 11, 11, 11);
    QTest::newRow("horizontalLayout_2") << "horizontalLayout_2" << 6 << flush;
    QTest::newRow("horizontalLayout_3") << "horizontalLayout_3" << 6 << flush;
    QTest::newRow("horizontalLayout") << "horizontalLayout" << 6 << flush;
    QTest::newRow("horizontalLayout_4") << "horizontalLayout_4" << 6 << flush;
    QTest::newRow("horizontalLayout_5") << "horizontalLayout_5" << 6 << flush;
    QTest::newRow("gridLayout_5") << "gridLayout_5" << 6 << inset;
    QTest::newRow("gridLayout_4") << "gridLayout_4" << 6 << inset;
}

void TestForm::layoutSpacingAndMargins()
{
    QFETCH(QString, name);
    QFETCH(int, spacing);
    QFETCH(QMargins, margins);

    QLayout *layout = layoutNamed(name);
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), spacing);
    QCOMPARE(layout->contentsMargins(), margins);
    if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        QCOMPARE(grid->horizontalSpacing(), spacing);
        QCOMPARE(grid->verticalSpacing(), spacing);
    }
}

void TestForm::rowOrder_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("connection bar")
        << "horizontalLayout_2"
        << QStringList{"comNum_2", "SerialComNum",      "Label_Braud",   "BraudRate_1",
                       kSpacer,    "autoConnectButton", "connectButton", "disConnectButton"};
    QTest::newRow("live reading bar")
        << "horizontalLayout_3"
        << QStringList{"label_15",     "readAddress_1", kSpacer, "label",
                       "label_Temp",   "label_9",       kSpacer, "label_2",
                       "label_Humidy", "label_5",       kSpacer, "manualReadButton"};
    QTest::newRow("parameter area")
        << "horizontalLayout" << QStringList{"groupBox_3", kSpacer, "groupBox_2"};
    QTest::newRow("interval bar") << "horizontalLayout_4"
                                  << QStringList{"checkBox_5",  "readTempInterval", "label_17",
                                                 "checkBox_6",  "readHumiInterval", "label_16",
                                                 "readButton_2"};
    // The spacer separates OffsetTemp from its unit label.
    QTest::newRow("reference bar")
        << "horizontalLayout_5"
        << QStringList{"checkBox_10", "BaseTemp",   "label_4",    "label_19", "OffsetTemp",
                       kSpacer,       "label_6",    "checkBox_9", "BaseHumi", "label_3",
                       "label_20",    "OffsetHumi", "label_21"};
}

void TestForm::rowOrder()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, items);

    auto *box = qobject_cast<QBoxLayout *>(layoutNamed(layout));
    QVERIFY(box);
    QCOMPARE(box->direction(), QBoxLayout::LeftToRight);
    QStringList actual;
    for (int i = 0; i < box->count(); ++i) {
        QLayoutItem *item = box->itemAt(i);
        if (item->spacerItem())
            actual << kSpacer;
        else if (item->widget())
            actual << item->widget()->objectName();
        else
            actual << QStringLiteral("<other>");
        QCOMPARE(box->stretch(i), 0);
        QCOMPARE(item->alignment(), Qt::Alignment());
    }
    QCOMPARE(actual, items);
}

void TestForm::gridCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    const QString g5 = QStringLiteral("gridLayout_5");
    QTest::newRow("checkBox_8") << "checkBox_8" << g5 << 1 << 0;
    QTest::newRow("readButton") << "readButton" << g5 << 1 << 1;
    QTest::newRow("label_11") << "label_11" << g5 << 2 << 0;
    QTest::newRow("readAddress_2") << "readAddress_2" << g5 << 2 << 1;
    QTest::newRow("label_13") << "label_13" << g5 << 3 << 0;
    QTest::newRow("braudRate_2") << "braudRate_2" << g5 << 3 << 1;
    QTest::newRow("label_12") << "label_12" << g5 << 4 << 0;
    QTest::newRow("tempOffset_1") << "tempOffset_1" << g5 << 4 << 1;
    QTest::newRow("label_14") << "label_14" << g5 << 5 << 0;
    QTest::newRow("humiOffset_1") << "humiOffset_1" << g5 << 5 << 1;
    QTest::newRow("label_18") << "label_18" << g5 << 6 << 0;
    QTest::newRow("BraudRate_5") << "BraudRate_5" << g5 << 6 << 1;

    const QString g4 = QStringLiteral("gridLayout_4");
    QTest::newRow("pushButton") << "pushButton" << g4 << 0 << 0;
    QTest::newRow("writeButton") << "writeButton" << g4 << 0 << 1;
    QTest::newRow("checkBox") << "checkBox" << g4 << 2 << 0;
    QTest::newRow("readAddress_3") << "readAddress_3" << g4 << 2 << 1;
    QTest::newRow("checkBox_2") << "checkBox_2" << g4 << 4 << 0;
    QTest::newRow("BraudRate_3") << "BraudRate_3" << g4 << 4 << 1;
    QTest::newRow("checkBox_3") << "checkBox_3" << g4 << 5 << 0;
    QTest::newRow("TempOffset_2") << "TempOffset_2" << g4 << 5 << 1;
    QTest::newRow("checkBox_4") << "checkBox_4" << g4 << 6 << 0;
    QTest::newRow("HumiOffset_2") << "HumiOffset_2" << g4 << 6 << 1;
    QTest::newRow("checkBox_7") << "checkBox_7" << g4 << 7 << 0;
    QTest::newRow("BraudRate_4") << "BraudRate_4" << g4 << 7 << 1;
}

void TestForm::gridCells()
{
    QFETCH(QString, name);
    QFETCH(QString, layout);
    QFETCH(int, row);
    QFETCH(int, column);

    auto *grid = qobject_cast<QGridLayout *>(layoutNamed(layout));
    auto *widget = named<QWidget>(name);
    QVERIFY(grid);
    QVERIFY(widget);
    const int index = grid->indexOf(widget);
    QVERIFY(index >= 0);
    int r = -1, c = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
    QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());
    // Each grid holds exactly its twelve controls, nothing in the empty rows.
    QCOMPARE(grid->count(), 12);
}

void TestForm::spacers()
{
    int count = 0;
    for (QLayout *layout : window->findChildren<QLayout *>()) {
        if (!isFormName(layout->objectName()))
            continue;
        for (int i = 0; i < layout->count(); ++i) {
            QSpacerItem *spacer = layout->itemAt(i)->spacerItem();
            if (!spacer)
                continue;
            ++count;
            QCOMPARE(spacer->sizeHint(), QSize(40, 20));
            QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
            QCOMPARE(spacer->expandingDirections(), Qt::Horizontal);
        }
    }
    QCOMPARE(count, 6);
}

// ---- Texts and initial states ------------------------------------------------

void TestForm::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    const auto row = [](const char *name, const QString &caption) {
        QTest::newRow(name) << QString::fromLatin1(name) << caption;
    };
    row("disconnect", QStringLiteral("断开"));
    row("action", QStringLiteral("日志保存"));
    row("connect", QStringLiteral("连接"));
    row("action_2", QStringLiteral("退出"));
    // Connection bar.
    row("comNum_2", QStringLiteral("端口:"));
    row("Label_Braud", QStringLiteral("波特率："));
    row("autoConnectButton", QStringLiteral("自动连接"));
    row("connectButton", QStringLiteral("连接设备"));
    row("disConnectButton", QStringLiteral("断开连接"));
    // Live reading bar.
    row("label_15", QStringLiteral("站号："));
    row("label", QStringLiteral("温度："));
    row("label_Temp", QStringLiteral("0"));
    row("label_9", QStringLiteral("℃"));
    row("label_2", QStringLiteral("湿度："));
    row("label_Humidy", QStringLiteral("0"));
    row("label_5", QStringLiteral("%"));
    row("manualReadButton", QStringLiteral("手动读取"));
    // Device parameters: the labels end in an ASCII colon except station and baud rate.
    row("groupBox_3", QStringLiteral("设备参数"));
    row("checkBox_8", QStringLiteral("连接时读参数"));
    row("readButton", QStringLiteral("读取"));
    row("label_11", QStringLiteral("站号："));
    row("label_13", QStringLiteral("波特率："));
    row("label_12", QStringLiteral("温度微调:"));
    row("label_14", QStringLiteral("湿度微调:"));
    row("label_18", QStringLiteral("温湿度对调:"));
    // Change parameters: full-width colons except the order check box.
    row("groupBox_2", QStringLiteral("修改参数"));
    row("pushButton", QStringLiteral("打开测试模式"));
    row("writeButton", QStringLiteral("写入"));
    row("checkBox", QStringLiteral("站号："));
    row("checkBox_2", QStringLiteral("波特率："));
    row("checkBox_3", QStringLiteral("温度微调："));
    row("checkBox_4", QStringLiteral("湿度微调："));
    row("checkBox_7", QStringLiteral("温湿度对调:"));
    // Automatic reading.
    row("groupBox", QStringLiteral("温湿度自动读取"));
    row("checkBox_5", QStringLiteral("温度读取间隔："));
    row("label_17", QStringLiteral("秒"));
    row("checkBox_6", QStringLiteral("湿度读取间隔："));
    row("label_16", QStringLiteral("秒"));
    row("readButton_2", QStringLiteral("清除窗口"));
    row("checkBox_10", QStringLiteral("温度基准："));
    row("label_4", QStringLiteral("℃"));
    row("label_19", QStringLiteral("误差："));
    row("label_6", QStringLiteral("℃"));
    row("checkBox_9", QStringLiteral("湿度基准："));
    row("label_3", QStringLiteral("%"));
    row("label_20", QStringLiteral("误差："));
    row("label_21", QStringLiteral("%"));
}

void TestForm::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    QObject *object = named<QObject>(name);
    QVERIFY(object);
    QCOMPARE(captionOf(object), caption);
    if (auto *label = qobject_cast<QLabel *>(object)) {
        QCOMPARE(label->textFormat(), Qt::AutoText);
        QVERIFY(!label->hasScaledContents());
        QVERIFY(!label->buddy());
    }
}

void TestForm::whatsThis_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const QString emptyParagraph = QStringLiteral("<html><head/><body><p><br/></p></body></html>");
    QTest::newRow("SerialComNum") << "SerialComNum" << emptyParagraph;
    QTest::newRow("label_Temp") << "label_Temp"
                                << QStringLiteral("<html><head/><body><p>这是读取的当前温度值"
                                                  "</p></body></html>");
    QTest::newRow("label_Humidy") << "label_Humidy" << emptyParagraph;
    QTest::newRow("label_9 has none") << "label_9" << QString();
}

void TestForm::whatsThis()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->whatsThis(), text);
}

void TestForm::comboItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("editable");

    QTest::newRow("SerialComNum") << "SerialComNum" << QStringList{QStringLiteral("刷新串口")}
                                  << false;
    QTest::newRow("BraudRate_1") << "BraudRate_1" << baudItems() << false;
    QTest::newRow("braudRate_2") << "braudRate_2" << baudItems() << false;
    QTest::newRow("BraudRate_3") << "BraudRate_3" << baudItems() << false;
    QTest::newRow("BraudRate_5") << "BraudRate_5" << orderItems() << false;
    QTest::newRow("BraudRate_4") << "BraudRate_4" << orderItems() << false;
}

void TestForm::comboItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(bool, editable);

    auto *combo = named<QComboBox>(name);
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i) {
        actual << combo->itemText(i);
        // The items are looked up by index; nothing hangs on item data.
        QVERIFY(!combo->itemData(i).isValid());
    }
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->currentText(), items.first());
    QCOMPARE(combo->isEditable(), editable);
}

void TestForm::spinBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("readOnly");

    QTest::newRow("readAddress_1") << "readAddress_1" << 1 << 254 << 1 << false;
    QTest::newRow("readAddress_2") << "readAddress_2" << 1 << 254 << 1 << true;
    QTest::newRow("readAddress_3") << "readAddress_3" << 1 << 254 << 1 << false;
    QTest::newRow("tempOffset_1") << "tempOffset_1" << -100 << 100 << 0 << true;
    QTest::newRow("humiOffset_1") << "humiOffset_1" << -100 << 100 << 0 << true;
    QTest::newRow("TempOffset_2") << "TempOffset_2" << -100 << 100 << 0 << false;
    QTest::newRow("HumiOffset_2") << "HumiOffset_2" << -100 << 100 << 0 << false;
    QTest::newRow("readTempInterval") << "readTempInterval" << 1 << 10000 << 10 << false;
    QTest::newRow("readHumiInterval") << "readHumiInterval" << 1 << 10000 << 10 << false;
}

void TestForm::spinBoxes()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(bool, readOnly);

    auto *spin = named<QSpinBox>(name);
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->isReadOnly(), readOnly);
}

void TestForm::enabledState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");

    const char *disabled[] = {"manualReadButton", "readAddress_2", "braudRate_2",
                              "tempOffset_1",     "humiOffset_1",  "BraudRate_5"};
    for (const char *name : disabled)
        QTest::newRow(name) << QString::fromLatin1(name) << false;
    const char *enabled[] = {
        "SerialComNum",  "BraudRate_1",  "autoConnectButton", "connectButton", "disConnectButton",
        "readAddress_1", "checkBox_8",   "readButton",        "label_11",      "pushButton",
        "writeButton",   "checkBox",     "readAddress_3",     "checkBox_2",    "BraudRate_3",
        "checkBox_3",    "TempOffset_2", "checkBox_4",        "HumiOffset_2",  "checkBox_7",
        "BraudRate_4",   "checkBox_5",   "readTempInterval",  "checkBox_6",    "readHumiInterval",
        "readButton_2",  "textEdit",     "checkBox_10",       "BaseTemp",      "OffsetTemp",
        "checkBox_9",    "BaseHumi",     "OffsetHumi"};
    for (const char *name : enabled)
        QTest::newRow(name) << QString::fromLatin1(name) << true;
}

void TestForm::enabledState()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);

    auto *widget = named<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->isEnabled(), enabled);
}

void TestForm::checkedState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("checked");

    QTest::newRow("checkBox") << "checkBox" << true;
    const char *unchecked[] = {"checkBox_2", "checkBox_3", "checkBox_4", "checkBox_5", "checkBox_6",
                               "checkBox_7", "checkBox_8", "checkBox_9", "checkBox_10"};
    for (const char *name : unchecked)
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestForm::checkedState()
{
    QFETCH(QString, name);
    QFETCH(bool, checked);

    auto *box = named<QCheckBox>(name);
    QVERIFY(box);
    QCOMPARE(box->isChecked(), checked);
    QVERIFY(!box->isTristate());
}

void TestForm::pushButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isDefault");

    QTest::newRow("connectButton") << "connectButton" << true;
    QTest::newRow("readButton") << "readButton" << false;
    QTest::newRow("writeButton") << "writeButton" << false;
    QTest::newRow("readButton_2") << "readButton_2" << false;
    QTest::newRow("autoConnectButton") << "autoConnectButton" << false;
    QTest::newRow("pushButton") << "pushButton" << false;
}

void TestForm::pushButtons()
{
    QFETCH(QString, name);
    QFETCH(bool, isDefault);

    auto *button = named<QPushButton>(name);
    QVERIFY(button);
    QCOMPARE(button->isDefault(), isDefault);
    QVERIFY(!button->autoDefault());
    QVERIFY(!button->isCheckable());
    QVERIFY(button->icon().isNull());
    QVERIFY(!button->menu());
}

void TestForm::lineEdits_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("BaseTemp") << "BaseTemp";
    QTest::newRow("OffsetTemp") << "OffsetTemp";
    QTest::newRow("BaseHumi") << "BaseHumi";
    QTest::newRow("OffsetHumi") << "OffsetHumi";
}

void TestForm::lineEdits()
{
    QFETCH(QString, name);

    // Whatever the operator types reaches the reference slots unfiltered.
    auto *edit = named<QLineEdit>(name);
    QVERIFY(edit);
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!edit->validator());
    QVERIFY(edit->inputMask().isEmpty());
    QCOMPARE(edit->maxLength(), 32767);
    QVERIFY(!edit->isReadOnly());
}

void TestForm::logPane()
{
    QTextEdit *pane = ui.textEdit;
    QVERIFY(pane->isReadOnly());
    QVERIFY(!pane->acceptRichText());
    QCOMPARE(pane->textInteractionFlags(),
             Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QCOMPARE(pane->sizeAdjustPolicy(), QAbstractScrollArea::AdjustToContentsOnFirstShow);

    const QTextDocument *doc = pane->document();
    QCOMPARE(doc->blockCount(), 2);
    const QTextBlock welcome = doc->firstBlock();
    QCOMPARE(welcome.text(),
             QStringLiteral("欢迎使用Ardeno的产品V1.31 技术支持：support@ardeno.example"));
    QVERIFY(welcome.next().text().isEmpty());
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        QCOMPARE(format.topMargin(), 0.0);
        QCOMPARE(format.bottomMargin(), 0.0);
        QCOMPARE(format.leftMargin(), 0.0);
        QCOMPARE(format.rightMargin(), 0.0);
        QCOMPARE(format.indent(), 0);
        QCOMPARE(format.textIndent(), 0.0);
    }
    const QTextCharFormat chars = welcome.begin().fragment().charFormat();
    QCOMPARE(chars.fontFamily(), QStringLiteral("SimSun"));
    QCOMPARE(chars.fontPointSize(), 9.0);
    QCOMPARE(chars.fontWeight(), int(QFont::Normal));
    QVERIFY(!chars.fontItalic());
}

void TestForm::actionsArePlacedNowhere_data()
{
    QTest::addColumn<QObject *>("object");
    QTest::newRow("disconnect") << static_cast<QObject *>(ui.disconnect);
    QTest::newRow("action") << static_cast<QObject *>(ui.action);
    QTest::newRow("connect") << static_cast<QObject *>(ui.connect);
    QTest::newRow("action_2") << static_cast<QObject *>(ui.action_2);
}

void TestForm::actionsArePlacedNowhere()
{
    QFETCH(QObject *, object);

    auto *action = qobject_cast<QAction *>(object);
    QVERIFY(action);
    QCOMPARE(action->parent(), window.get());
    QVERIFY(action->associatedWidgets().isEmpty());
    QVERIFY(!window->actions().contains(action));
    for (QMenu *menu : window->findChildren<QMenu *>())
        QVERIFY(!menu->actions().contains(action));
    QVERIFY(action->shortcut().isEmpty());
    QVERIFY(action->icon().isNull());
    QVERIFY(!action->isCheckable());
}

void TestForm::noToolTipsStyleSheetsOrShortcuts()
{
    int widgets = 0;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!isFormName(widget->objectName()))
            continue;
        ++widgets;
        QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
        QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            QVERIFY2(button->shortcut().isEmpty(), qPrintable(widget->objectName()));
    }
    QVERIFY(widgets > 70);
    QVERIFY(window->styleSheet().isEmpty());
}

void TestForm::everyTextGoesThroughTranslation()
{
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    // Installing asks Qt's own contexts; only the form's pass counts here.
    translator.lookups.clear();
    ui.retranslateUi(window.get());
    QCoreApplication::removeTranslator(&translator);

    for (const Lookup &lookup : translator.lookups) {
        QCOMPARE(lookup.context, QByteArray(kContext));
        QVERIFY(lookup.disambiguation.isNull());
        QCOMPARE(lookup.n, -1);
    }

    QStringList shown{window->windowTitle()};
    for (QObject *object : window->findChildren<QObject *>()) {
        if (!isFormName(object->objectName()))
            continue;
        const QString caption = captionOf(object);
        if (!caption.isEmpty())
            shown << object->objectName() + QLatin1Char('=') + caption;
        if (auto *widget = qobject_cast<QWidget *>(object);
            widget && !widget->whatsThis().isEmpty())
            shown << object->objectName() + QLatin1Char('=') + widget->whatsThis();
        if (auto *combo = qobject_cast<QComboBox *>(object)) {
            for (int i = 0; i < combo->count(); ++i)
                shown << object->objectName() + QLatin1Char('=') + combo->itemText(i);
            shown << object->objectName() + QLatin1Char('=') + combo->currentText();
        }
    }
    QStringList unmarked;
    for (const QString &text : qAsConst(shown))
        if (!text.endsWith(kMark))
            unmarked << text;
    QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(QLatin1String(" | "))));
    QVERIFY(shown.size() > 60);
    QVERIFY(ui.textEdit->toPlainText().contains(kMark));

    // Without a translator the form's own texts come back.
    ui.retranslateUi(window.get());
    QCOMPARE(window->windowTitle(), QStringLiteral("Ardeno温湿度工具"));
    QCOMPARE(ui.connectButton->text(), QStringLiteral("连接设备"));
    QCOMPARE(ui.SerialComNum->currentText(), QStringLiteral("刷新串口"));
    QVERIFY(!ui.textEdit->toPlainText().contains(kMark));
}

// ---- On screen ---------------------------------------------------------------

void TestForm::resizingKeepsBlocksInPlace()
{
    const QRect lower = ui.groupBox->geometry();
    const QRect params = ui.layoutWidget2->geometry();

    window->resize(100, 100);
    QCOMPARE(window->size(), QSize(600, 350));
    QCOMPARE(ui.groupBox->geometry(), lower);
    QCOMPARE(ui.layoutWidget2->geometry(), params);

    window->resize(2000, 2000);
    QCOMPARE(window->size(), QSize(610, 780));
    QCOMPARE(ui.groupBox->geometry(), lower);

    window->resize(610, 780);
}

void TestForm::captionsRenderWithCjkGlyphs()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    const QImage shot = window->grab().toImage();
    QCOMPARE(shot.size(), QSize(610, 780));
    QVERIFY(shot.save(QStringLiteral("/tmp/form.png")));

    // "温度：" and "湿度：" differ only in the first character. Drawn with a CJK
    // font the two labels differ; drawn as missing-glyph boxes they are alike.
    const QImage temp = ui.label->grab().toImage();
    const QImage humi = ui.label_2->grab().toImage();
    QVERIFY(darkPixels(temp) > 0);
    QCOMPARE(temp.size(), humi.size());
    QVERIFY(temp != humi);

    QCOMPARE(renderedGlyphs(QStringLiteral("湿"), ui.label_2->font()).size(),
             renderedGlyphs(QStringLiteral("温"), ui.label->font()).size());
    QVERIFY(renderedGlyphs(QStringLiteral("湿"), ui.label_2->font()) !=
            renderedGlyphs(QStringLiteral("温"), ui.label->font()));

    // Every caption resolves to real glyphs, through font fallback if need be.
    QStringList missing;
    for (QObject *object : window->findChildren<QObject *>()) {
        auto *widget = qobject_cast<QWidget *>(object);
        const QString caption = captionOf(object);
        if (!widget || caption.isEmpty())
            continue;
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
            missing << object->objectName() + QLatin1Char('=') + caption;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
