// The status bar, the cancel tracker and the Qt dialogs.
#include "QgisTestSupport.h"

#include "command/RunTexts.h"

#include "dialogs/frmField.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cmath>

namespace drennow::qgis::testing {
namespace {

class QgisWidgetsTest : public QgisHostTest {
protected:
    QProgressBar* Bar() const { return statusBar->findChild<QProgressBar*>(QStringLiteral("drennowProgressBar")); }
    host::IStepProgressor& Progress() { return *application->StatusBar()->ProgressBar(); }
    host::IUserInterface& Ui() { return *application->UserInterface(); }
};

TEST_F(QgisWidgetsTest, TheProgressBarSitsOnTheStatusBarAndShowsItsMessageThere)
{
    EXPECT_EQ(application->StatusBar()->ProgressBar(), application->StatusBar()->ProgressBar()) << "always the same";
    ASSERT_NE(Bar(), nullptr);
    EXPECT_TRUE(Bar()->isHidden());

    host::IStepProgressor& progress = Progress();
    progress.Show();
    progress.MaxRange(3);
    progress.MinRange(0);
    progress.StepValue(1);
    progress.Position(0);
    progress.Message("Building Pfafstetter array 1.. Hit Esc to Cancel");
    for (int i = 0; i < 5; ++i) {
        progress.Step();
    }
    EXPECT_FALSE(Bar()->isHidden());
    EXPECT_EQ(Bar()->value(), 3) << "steps past the range leave the bar full";
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Building Pfafstetter array 1.. Hit Esc to Cancel"));
    progress.Position(0);
    EXPECT_EQ(Bar()->value(), 0);

    progress.Hide();
    EXPECT_TRUE(Bar()->isHidden());
    EXPECT_TRUE(statusBar->currentMessage().isEmpty()) << "the bar's message goes with it";
}

// A million steps would draw the bar a million times: it is drawn as it
// moves by a pixel's worth (the bar is at most 100 pixels wide), and full.
TEST_F(QgisWidgetsTest, TheBarIsDrawnAsItMovesNotAtEveryStep)
{
    host::IStepProgressor& progress = Progress();
    progress.Show();
    progress.MaxRange(100000);
    progress.MinRange(0);
    progress.StepValue(1);
    progress.Position(0);
    int drawn = 0;
    QObject::connect(Bar(), &QProgressBar::valueChanged, Bar(), [&] { ++drawn; });
    for (int i = 0; i < 999; ++i) {
        progress.Step();
    }
    EXPECT_EQ(Bar()->value(), 0) << "less than a pixel's worth";
    progress.Step();
    EXPECT_EQ(Bar()->value(), 1000);
    for (int i = 0; i < 98999; ++i) {
        progress.Step();
    }
    EXPECT_EQ(Bar()->value(), 99000);
    progress.Step();
    EXPECT_EQ(Bar()->value(), 100000) << "the last step fills it";
    EXPECT_EQ(drawn, 100);
    progress.Position(5);
    EXPECT_EQ(Bar()->value(), 5) << "a position set is shown at once";
    progress.Hide();
}

// The window repaints once an interval: counts in between are not laid
// out, but a message of another kind shows at once, and hiding the bar takes
// the count that is shown with it.
TEST_F(QgisWidgetsTest, ACountThatChangesAloneShowsOnceAnInterval)
{
    QgisApplication slow(project, *statusBar, &mainWindow, canvas, std::chrono::hours(1));
    host::IStepProgressor& progress = *slow.StatusBar()->ProgressBar();
    progress.Show();
    progress.Message("Finding NextDownID 1.. Hit Esc to Cancel");
    progress.Message("Finding NextDownID 2.. Hit Esc to Cancel");
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Finding NextDownID 1.. Hit Esc to Cancel"));
    progress.Message("Finishing Edit Operation (please wait)");
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Finishing Edit Operation (please wait)"));
    progress.Message("Finding NextDownID 3.. Hit Esc to Cancel");
    progress.Message("Finding NextDownID 4.. Hit Esc to Cancel");
    progress.Hide();
    EXPECT_TRUE(statusBar->currentMessage().isEmpty());
    progress.Show();
    progress.Message("Finding NextDownID 5.. Hit Esc to Cancel");
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Finding NextDownID 5.. Hit Esc to Cancel"))
        << "the first message after the bar shows again";
    progress.Hide();
}

TEST_F(QgisWidgetsTest, HidingTheBarLeavesAnotherMessageAlone)
{
    Progress().Message("Finding NextDownID 3.. Hit Esc to Cancel");
    application->StatusBar()->Message(0, "Closing temporary edit session, please wait");
    Progress().Hide();
    EXPECT_EQ(statusBar->currentMessage(), QStringLiteral("Closing temporary edit session, please wait"));
    application->StatusBar()->Message(0, "");
    EXPECT_TRUE(statusBar->currentMessage().isEmpty());
}

TEST_F(QgisWidgetsTest, TheTrackerTurnsFalseOnEscAndSwallowsOtherInput)
{
    QPushButton button(QStringLiteral("Elsewhere"), &mainWindow);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    host::Ref<host::ITrackCancel> tracker = application->NewCancelTracker();

    const QPointF centre = QRectF(button.rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(&button, new QMouseEvent(type, centre, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    }
    EXPECT_TRUE(tracker->Continue());
    EXPECT_EQ(clicks, 0) << "the user's input waits for no one while the run works";

    QCoreApplication::postEvent(&mainWindow, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_FALSE(tracker->Continue());
    EXPECT_FALSE(tracker->Continue()) << "a cancel stays";
    EXPECT_TRUE(application->NewCancelTracker()->Continue()) << "a new tracker starts afresh";

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1) << "input reaches the window again between the tracker's turns";
}

// QGIS may ask while the run lets events in (the save question of a layer a
// script removed): its box takes keys, and Esc there answers the box rather
// than cancelling the run.
TEST_F(QgisWidgetsTest, AModalBoxThatIsNotTheRunsKeepsItsInput)
{
    host::Ref<host::ITrackCancel> tracker = application->NewCancelTracker();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Esc");
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
        QTimer::singleShot(0, &mainWindow, [&] {
            answer = QMessageBox::question(&mainWindow, QStringLiteral("Save"), QStringLiteral("Save the changes?"),
                                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        });
        driver.Queue([key](QWidget& box) {
            QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
            QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        });
        // Should the keys be swallowed, the box is closed from here, so the
        // test fails rather than hangs.
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->done(QMessageBox::NoButton);
            }
        });
        rescue.start(5000);

        EXPECT_TRUE(tracker->Continue()) << "Esc in another window cancels nothing";
        EXPECT_EQ(answer, key == Qt::Key_Return ? QMessageBox::Yes : QMessageBox::Cancel);
    }
    EXPECT_TRUE(driver.AllStepsUsed());
}

// QGIS's status bar at 1280 px holds widgets of its own beside the run's bar;
// the message must not shrink to its first word.
TEST_F(QgisWidgetsTest, TheMessageStaysReadableInACrowdedStatusBar)
{
    const QString message = QStringLiteral("Finding NextDownID 734.. Hit Esc to Cancel");
    auto* field = statusBar->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    const int textWidth = field->fontMetrics().horizontalAdvance(message);
    // Crowded so that, with a bar of 200 px, the field would be narrower
    // than its text.
    QWidget crowd;
    crowd.setFixedWidth(1280 - 200 - textWidth);
    statusBar->addPermanentWidget(&crowd, 0, QgsStatusBar::AnchorLeft);
    mainWindow.resize(1280, 600);

    Progress().Show();
    Progress().Message(message.toStdString());
    QApplication::processEvents();

    EXPECT_GE(field->width(), textWidth);
    EXPECT_EQ(mainWindow.width(), 1280) << "the window did not have to grow";
    Progress().Hide();
    statusBar->removeWidget(&crowd);
}

TEST_F(QgisWidgetsTest, TheTrackerLetsEventsInOnlyOnceAnInterval)
{
    QgisApplication slow(project, *statusBar, &mainWindow, canvas, std::chrono::hours(1));
    host::Ref<host::ITrackCancel> tracker = slow.NewCancelTracker();
    EXPECT_TRUE(tracker->Continue()) << "the first question lets events in";
    QCoreApplication::postEvent(&mainWindow, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_TRUE(tracker->Continue()) << "too soon to look again";
}

TEST_F(QgisWidgetsTest, MessageBoxesHaveTheButtonsAskedForAndNoIcon)
{
    driver.Queue(ModalDriver::Answer(QMessageBox::No));
    driver.Queue(ModalDriver::Answer(QMessageBox::Cancel));
    driver.Queue(ModalDriver::Answer(QMessageBox::Ok));
    driver.Queue([](QWidget& window) { window.close(); });

    EXPECT_EQ(Ui().MessageBox(host::Prompt::TrailingZeros, "Line one\r\nLine two", host::MessageButtons::YesNo, host::DefaultButton::First,
                              "Drennow"),
              host::kAnswerNo);
    EXPECT_EQ(Ui().MessageBox(host::Prompt::SaveEdits, "Save?", host::MessageButtons::YesNoCancel, host::DefaultButton::First, "Save Edits?"),
              host::kAnswerCancel);
    EXPECT_EQ(Ui().MessageBox(host::Prompt::Completion, "Done", host::MessageButtons::OK, host::DefaultButton::First, "Drennow"),
              host::kAnswerOK);
    EXPECT_EQ(Ui().MessageBox(host::Prompt::SaveEdits, "Closed", host::MessageButtons::YesNoCancel, host::DefaultButton::First, "Drennow"),
              host::kAnswerCancel)
        << "the close box answers Cancel";

    ASSERT_EQ(driver.shown.size(), 4U);
    EXPECT_EQ(driver.shown[0].text, QStringLiteral("Line one\nLine two"));
    EXPECT_EQ(driver.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(driver.shown[1].title, QStringLiteral("Save Edits?"));
    EXPECT_EQ(driver.shown[1].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(driver.shown[2].buttons, QMessageBox::Ok);
    for (const Shown& item : driver.shown) {
        EXPECT_FALSE(item.hasIcon);
    }
}

TEST_F(QgisWidgetsTest, TheInputBoxGivesTheReplyOrNothing)
{
    driver.Queue(ModalDriver::Reply(QStringLiteral("7")));
    driver.Queue(ModalDriver::CancelInput());

    EXPECT_EQ(Ui().InputBox(host::Prompt::Level, "Input Pfafstetter Level (1-9)", "Drennow", "4"), "7");
    EXPECT_EQ(Ui().InputBox(host::Prompt::Level, "Input Pfafstetter Level (1-9)", "Drennow", "4"), "");
    ASSERT_EQ(driver.shown.size(), 2U);
    EXPECT_EQ(driver.shown[0].title, QStringLiteral("Drennow"));
    EXPECT_EQ(driver.shown[0].text, QStringLiteral("Input Pfafstetter Level (1-9)"));
    EXPECT_EQ(driver.shown[0].defaultText, QStringLiteral("4"));
}

class SelectionWindowTest : public QgisWidgetsTest {
protected:
    SelectionWindowTest()
    {
        form.Load();
        form.caption = "Drennow";
        form.lblLayer = "Select Watershed Layer";
        form.cboFld.AddItem("Rivers");
        form.cboFld.AddItem("Watershed");
        form.cboFld.SetListIndex(1);
    }

    // Shows the form and lets the step act on its window.
    void ShowWith(ModalDriver::Step step)
    {
        driver.Queue(std::move(step));
        form.Show(Ui());
    }

    dialogs::frmField form;
};

TEST_F(SelectionWindowTest, ControlsSitAtTheirLayoutInPixels)
{
    ShowWith([](QWidget& window) {
        const qreal dpiX = window.screen()->logicalDotsPerInchX();
        const qreal dpiY = window.screen()->logicalDotsPerInchY();
        auto pixels = [](int twips, qreal dpi) { return static_cast<int>(std::lround(twips * dpi / 1440)); };
        for (const dialogs::ControlLayout& control : dialogs::frmField::kLayout) {
            auto* widget = window.findChild<QWidget*>(QString::fromLatin1(control.Name));
            ASSERT_NE(widget, nullptr) << control.Name;
            EXPECT_EQ(widget->geometry(), QRect(pixels(control.Left, dpiX), pixels(control.Top, dpiY),
                                                pixels(control.Width, dpiX), pixels(control.Height, dpiY)))
                << control.Name;
        }
        EXPECT_EQ(window.size(), QSize(pixels(dialogs::frmField::kClientWidth, dpiX),
                                       pixels(dialogs::frmField::kClientHeight, dpiY)));
        QWidget* list = window.findChild<QWidget*>(QStringLiteral("cboFld"));
        EXPECT_EQ(list->nextInFocusChain(), window.findChild<QWidget*>(QStringLiteral("cmdOK")));
        EXPECT_EQ(list->nextInFocusChain()->nextInFocusChain(), window.findChild<QWidget*>(QStringLiteral("cmdCancel")));
        EXPECT_EQ(window.findChild<QPushButton*>(QStringLiteral("cmdOK"))->text(), QStringLiteral("OK"));
        window.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    ASSERT_EQ(driver.shown.size(), 1U);
    EXPECT_EQ(driver.shown[0].title, QStringLiteral("Drennow"));
    EXPECT_EQ(driver.shown[0].text, QStringLiteral("Select Watershed Layer"));
    EXPECT_EQ(driver.shown[0].entries, (QStringList{QStringLiteral("Rivers"), QStringLiteral("Watershed")}));
    EXPECT_EQ(driver.shown[0].current, QStringLiteral("Watershed"));
}

TEST_F(SelectionWindowTest, OKConfirmsThePickedEntry)
{
    ShowWith(ModalDriver::Pick(QStringLiteral("Rivers")));
    EXPECT_EQ(form.FieldName(), "Rivers");
}

TEST_F(SelectionWindowTest, CancelAndTheCloseBoxGiveNoAnswer)
{
    ShowWith([](QWidget& window) {
        window.findChild<QComboBox*>(QStringLiteral("cboFld"))->setCurrentIndex(0);
        window.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    EXPECT_EQ(form.FieldName(), "");

    form.Load();
    form.cboFld.AddItem("Watershed");
    form.cboFld.SetListIndex(0);
    ShowWith([](QWidget& window) { window.close(); });
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_FALSE(QApplication::activeModalWidget());
}

TEST_F(SelectionWindowTest, EscCancelsAndEnterIsBoundToNoButton)
{
    ShowWith([](QWidget& window) {
        QTest::keyClick(&window, Qt::Key_Return);
        EXPECT_TRUE(window.isVisible()) << "still open";
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    EXPECT_EQ(form.FieldName(), "") << "Esc gives no answer";
    EXPECT_FALSE(QApplication::activeModalWidget());
}

// Each label the run sets is read whole: the window widens for it.
TEST_F(SelectionWindowTest, EveryLabelFitsItsPlace)
{
    for (const char* label : {command::texts::kLayerLabel, command::texts::kPfafFieldLabel,
                              command::texts::kIdFieldLabel}) {
        form.Unload();
        form.Load();
        form.lblLayer = label;
        form.cboFld.AddItem("Watershed");
        form.cboFld.SetListIndex(0);
        ShowWith([label](QWidget& window) {
            auto* text = window.findChild<QLabel*>(QStringLiteral("lblLayer"));
            ASSERT_NE(text, nullptr);
            EXPECT_GE(text->width(), text->sizeHint().width()) << label;
            EXPECT_LE(text->geometry().right(), window.width()) << label;
            window.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
        });
    }
}

TEST_F(SelectionWindowTest, AnEmptyListSaysWhyAndOKIsDisabled)
{
    form.cboFld.Clear();
    form.question = host::Prompt::Layer;
    ShowWith([](QWidget& window) {
        auto* ok = window.findChild<QPushButton*>(QStringLiteral("cmdOK"));
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("cboFld"))->placeholderText(),
                  QStringLiteral("No polygon layer in the project"));
        ok->click();
        EXPECT_TRUE(window.isVisible());
        window.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    EXPECT_EQ(form.FieldName(), "");
}

}  // namespace
}  // namespace drennow::qgis::testing
