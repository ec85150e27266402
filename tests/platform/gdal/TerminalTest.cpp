#include "DrawnProgress.h"
#include "command/RunTexts.h"
#include "dialogs/frmField.h"
#include "platform/gdal/terminal/TerminalProgress.h"
#include "platform/gdal/terminal/TerminalUserInterface.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

namespace drennow::gdalhost {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using host::Prompt;
namespace texts = command::texts;

// What ends the lines typed.
enum class End { Input, CtrlC, Esc };

// Lines typed by a user; then the end of input, Ctrl-C or Esc.
class TypedLines : public LineSource {
public:
    explicit TypedLines(std::deque<std::string> lines, End end = End::Input) : lines_(std::move(lines)), end_(end) {}
    std::optional<std::string> ReadLine() override
    {
        ++reads;
        if (lines_.empty()) {
            ended_ = true;
            return std::nullopt;
        }
        std::string line = lines_.front();
        lines_.pop_front();
        return line;
    }
    bool Interrupted() const override { return ended_ && end_ == End::CtrlC; }
    bool EscapePressed() const override { return ended_ && end_ == End::Esc; }
    int reads = 0;

private:
    std::deque<std::string> lines_;
    End end_;
    bool ended_ = false;
};

struct Terminal {
    explicit Terminal(std::deque<std::string> lines = {}, bool batch = false, Answers answers = {},
                      End end = End::Input)
        : input(std::move(lines), end), ui(std::move(answers), batch, out, result, err, input)
    {
    }
    std::ostringstream out;     // questions and answers
    std::ostringstream result;  // the closing message
    std::ostringstream err;
    TypedLines input;
    TerminalUserInterface ui;
};

// current: the entry pre-selected for its name, -1 for none.
dialogs::frmField LayerDialog(std::vector<std::string> names, int32_t current)
{
    dialogs::frmField form;
    form.Load();
    form.question = Prompt::Layer;
    form.caption = texts::kTitle;
    form.lblLayer = texts::kLayerLabel;
    for (const std::string& name : names) {
        form.cboFld.AddItem(name);
    }
    if (current >= 0) {
        form.cboFld.SelectPreferred(current);
    }
    return form;
}

TEST(TerminalUserInterfaceTest, BatchTakesWhatEnterTakesAndPrintsQuestionAndAnswer)
{
    Terminal terminal({"never read"}, true);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::TrailingZeros, "Zeros ...\r\n\r\nAllow zeros?\r\n(Yes for some data)",
                                     host::MessageButtons::YesNo, host::DefaultButton::First, texts::kTitle),
              host::kAnswerYes);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::SaveEdits, "Go on?", host::MessageButtons::YesNoCancel, host::DefaultButton::Second, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, texts::LevelPrompt(texts::kHighestLevel), texts::kTitle, "3"), "3");
    auto form = LayerDialog({"Catchment", "Watershed"}, 1);
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "Watershed");
    EXPECT_EQ(terminal.input.reads, 0);
    std::string shown = terminal.out.str();
    EXPECT_THAT(shown, HasSubstr("\nZeros ...\n\nAllow zeros?\n(Yes for some data)\n[Yes/No, Enter = Yes] Yes (default)\n"));
    EXPECT_THAT(shown, HasSubstr("[Yes/No/Cancel, Enter = No] No (default)\n"));
    EXPECT_THAT(shown, HasSubstr(texts::LevelPrompt(texts::kHighestLevel) + "\n[Enter = 3] 3 (default)\n"));
    EXPECT_THAT(shown, HasSubstr(std::string(texts::kLayerLabel) + "\n    1) Catchment\n  * 2) Watershed\n"));
    EXPECT_THAT(shown, HasSubstr("Watershed (default)\n"));
    EXPECT_THAT(shown, Not(HasSubstr("\r")));
}

TEST(TerminalUserInterfaceTest, BatchClosesADialogWithNothingToTake)
{
    Terminal terminal({}, true);
    auto form = LayerDialog({}, -1);
    form.Show(terminal.ui);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_FALSE(terminal.ui.AnswerRefused());
    EXPECT_THAT(terminal.out.str(), HasSubstr("(no entries)"));
}

// Questions are known by their identity: however a question is worded, its
// answer answers it, and no other.
TEST(TerminalUserInterfaceTest, AnswersGivenInAdvanceAnswerTheirQuestionsOnly)
{
    Answers answers;
    answers.trailingZeros = false;
    answers.level = "7";
    answers.layer = "Catchment";
    answers.saveEdits = host::kAnswerCancel;
    Terminal terminal({}, true, answers);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::TrailingZeros, texts::kTrailingZerosQuestion, host::MessageButtons::YesNo, host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::TrailingZeros, "Worded otherwise?", host::MessageButtons::YesNo,
                                     host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo,
                                     host::DefaultButton::First, texts::kTitle),
              host::kAnswerYes);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::SaveEdits, "Save?", host::MessageButtons::YesNoCancel, host::DefaultButton::First,
                                     "Save Edits?"),
              host::kAnswerCancel);
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, "Level, worded otherwise (1-19)", texts::kTitle, "3"), "7");
    auto form = LayerDialog({"Watershed", "Catchment"}, 0);
    form.lblLayer = "A layer, worded otherwise";
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "Catchment");
    EXPECT_THAT(terminal.out.str(), HasSubstr("No (--trailing-zeros)"));
    EXPECT_THAT(terminal.out.str(), HasSubstr("== Save Edits? ==\nSave?\n"));
    EXPECT_FALSE(terminal.ui.AnswerRefused());
}

TEST(TerminalUserInterfaceTest, AnAnswerThatIsNotAnEntryIsRefusedAndTheDialogClosed)
{
    Answers answers;
    answers.layer = "watershed";  // names compare exactly
    Terminal terminal({}, false, answers);
    auto form = LayerDialog({"Watershed", "Catchment"}, 0);
    form.Show(terminal.ui);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_TRUE(terminal.ui.AnswerRefused());
    EXPECT_EQ(terminal.err.str(),
              "drennow: --layer watershed is not one of the entries offered: Watershed, Catchment\n");
    EXPECT_EQ(terminal.input.reads, 0);
}

TEST(TerminalUserInterfaceTest, TypedRepliesPickByNumberOrNameAndEnterTakesTheDefault)
{
    Terminal terminal({"maybe", "n", "", "2", "x", "Catchment", "", "12"});
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo, host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo, host::DefaultButton::First, texts::kTitle),
              host::kAnswerYes);
    auto byNumber = LayerDialog({"Watershed", "Catchment"}, 0);
    byNumber.Show(terminal.ui);
    EXPECT_EQ(byNumber.FieldName(), "Catchment");
    auto byName = LayerDialog({"Watershed", "Catchment"}, 0);
    byName.Show(terminal.ui);
    EXPECT_EQ(byName.FieldName(), "Catchment");
    auto byEnter = LayerDialog({"Watershed", "Catchment"}, 0);
    byEnter.Show(terminal.ui);
    EXPECT_EQ(byEnter.FieldName(), "Watershed");
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, texts::LevelPrompt(texts::kHighestLevel), texts::kTitle, "3"), "12");
    EXPECT_THAT(terminal.out.str(), HasSubstr("Please answer with one of the buttons."));
    EXPECT_THAT(terminal.out.str(), HasSubstr("Not an entry: x"));
}

TEST(TerminalUserInterfaceTest, CancelIsTypedAsC)
{
    Terminal terminal({"c", "C"});
    auto form = LayerDialog({"Watershed"}, 0);
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::SaveEdits, "Save?", host::MessageButtons::YesNoCancel, host::DefaultButton::First, "Save Edits?"),
              host::kAnswerCancel);
}

// Ctrl-D is no answer: the question is declined, and every later one, even
// one answered in advance, so that the run ends before it changes anything.
TEST(TerminalUserInterfaceTest, AtTheEndOfTheInputTheQuestionAndEveryLaterOneIsDeclined)
{
    Answers answers;
    answers.populatePfaf = true;
    answers.layer = "Watershed";
    answers.level = "2";
    Terminal terminal({"1"}, false, answers);
    auto form = LayerDialog({"Watershed", "Catchment"}, 1);
    form.question = Prompt::PfafField;
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "Watershed");
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::TrailingZeros, texts::kTrailingZerosQuestion, host::MessageButtons::YesNo,
                                     host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.err.str(),
              "drennow: the input ended at a question (Ctrl-D): the choice is declined, and nothing is changed\n");
    auto answered = LayerDialog({"Watershed", "Catchment"}, 0);
    answered.Show(terminal.ui);
    EXPECT_EQ(answered.FieldName(), "");
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo,
                                     host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::SaveEdits, "Save?", host::MessageButtons::YesNoCancel,
                                     host::DefaultButton::First, "Save Edits?"),
              host::kAnswerCancel);
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, texts::LevelPrompt(texts::kHighestLevel), texts::kTitle, "4"), "");
    EXPECT_EQ(terminal.input.reads, 2);
    EXPECT_FALSE(terminal.ui.AnswerRefused());
    EXPECT_FALSE(terminal.ui.CancelledByEscape());
    EXPECT_THAT(terminal.out.str(), HasSubstr("(end of input) No (end of input)"));
    EXPECT_THAT(terminal.out.str(), Not(HasSubstr("(default)")));
}

TEST(TerminalUserInterfaceTest, CtrlCDeclinesTheQuestionAndEveryLaterOne)
{
    Answers answers;
    answers.layer = "Watershed";
    answers.level = "4";
    Terminal terminal({}, false, answers, End::CtrlC);
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::TrailingZeros, texts::kTrailingZerosQuestion, host::MessageButtons::YesNo, host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    auto form = LayerDialog({"Watershed"}, 0);
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, texts::LevelPrompt(texts::kHighestLevel), texts::kTitle, "4"), "");
    EXPECT_EQ(terminal.input.reads, 1);
    EXPECT_EQ(terminal.err.str(), "");
}

// Esc cancels at once, at any question, and is told apart from a decline.
TEST(TerminalUserInterfaceTest, EscAtAQuestionCancelsItAndEveryLaterOne)
{
    Answers answers;
    answers.populatePfaf = true;
    Terminal terminal({}, false, answers, End::Esc);
    auto form = LayerDialog({"Watershed"}, 0);
    form.Show(terminal.ui);
    EXPECT_EQ(form.FieldName(), "");
    EXPECT_TRUE(terminal.ui.CancelledByEscape());
    EXPECT_EQ(terminal.ui.MessageBox(Prompt::Populate, texts::kPopulateQuestion, host::MessageButtons::YesNo,
                                     host::DefaultButton::First, texts::kTitle),
              host::kAnswerNo);
    EXPECT_EQ(terminal.input.reads, 1);
    EXPECT_EQ(terminal.err.str(), "");
    EXPECT_THAT(terminal.out.str(), HasSubstr("Cancel (Esc)"));
    EXPECT_THAT(terminal.out.str(), HasSubstr("No (Esc)"));
}

// A level typed that is no number ends the run as a decline does, with a
// word on why; numbers, whatever the run then makes of them, pass.
TEST(TerminalUserInterfaceTest, ALevelTypedThatIsNoNumberIsSaidToBeOne)
{
    Terminal terminal({"4O", "12", " 3 ", ""});
    const std::string prompt = texts::LevelPrompt(texts::kHighestLevel);
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, prompt, texts::kTitle, "4"), "4O");
    EXPECT_EQ(terminal.err.str(), "drennow: the level typed, 4O, is not a number: the run ends, and nothing is changed\n");
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, prompt, texts::kTitle, "4"), "12");
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, prompt, texts::kTitle, "4"), " 3 ");
    EXPECT_EQ(terminal.ui.InputBox(Prompt::Level, prompt, texts::kTitle, "4"), "4");
    EXPECT_EQ(terminal.err.str(), "drennow: the level typed, 4O, is not a number: the run ends, and nothing is changed\n");
}

// Whichever of two layers of one name is picked, the run would edit the
// first: the answer is refused, however it was given.
TEST(TerminalUserInterfaceTest, ALayerNameThatTwoLayersShareIsRefused)
{
    LayerFacts facts{[] { return std::vector<std::string>{}; },
                     [](const std::string& name) {
                         return name == "Watershed" ? std::vector<std::string>{"a.gpkg", "b.gpkg"}
                                                    : std::vector<std::string>{"a.gpkg"};
                     }};
    Terminal typed({"2", "3"});
    typed.ui.TellOfLayers(facts);
    auto shared = LayerDialog({"Watershed", "Watershed", "Catchment"}, 0);
    shared.Show(typed.ui);
    EXPECT_EQ(shared.FieldName(), "");
    EXPECT_TRUE(typed.ui.AnswerRefused());
    EXPECT_EQ(typed.err.str(), "drennow: 2 layers are called Watershed (in a.gpkg, b.gpkg), and the run would not "
                               "know which to edit: give only the dataset whose layer is to be edited, or rename "
                               "the others\n");
    Terminal other({"3"});
    other.ui.TellOfLayers(facts);
    auto alone = LayerDialog({"Watershed", "Watershed", "Catchment"}, 0);
    alone.Show(other.ui);
    EXPECT_EQ(alone.FieldName(), "Catchment");
    EXPECT_FALSE(other.ui.AnswerRefused());
}

// The closing message is the run's result; a check's message or an error
// report goes where scripts look for what went wrong.
TEST(TerminalUserInterfaceTest, MessagesAreShownWithoutWaitingTheClosingOneAsTheResult)
{
    Terminal terminal({"unread"});
    for (Prompt message : {Prompt::Completion, Prompt::CheckFailed, Prompt::ErrorReport}) {
        EXPECT_EQ(terminal.ui.MessageBox(message, "Line one\r\n\r\nLine two.", host::MessageButtons::OK,
                                         host::DefaultButton::First, texts::kTitle),
                  host::kAnswerOK);
    }
    EXPECT_EQ(terminal.result.str(), "\nLine one\n\nLine two.\n");
    EXPECT_EQ(terminal.err.str(), "\nLine one\n\nLine two.\n\nLine one\n\nLine two.\n");
    EXPECT_EQ(terminal.out.str(), "");
    EXPECT_EQ(terminal.input.reads, 0);
}

TEST(TerminalUserInterfaceTest, WithoutInputAListIsNotAnsweredByItsFirstEntryAlone)
{
    auto guessed = [](std::vector<std::string> entries, bool preferred) {
        dialogs::frmField form = LayerDialog(entries, -1);
        if (preferred) {
            form.cboFld.SelectPreferred(0);
        } else {
            form.cboFld.SetListIndex(0);  // what a list without a preferred name gets
        }
        auto terminal = std::make_unique<Terminal>(std::deque<std::string>{}, true);
        form.Show(terminal->ui);
        return std::make_pair(std::move(terminal), form.FieldName());
    };
    auto [refused, noName] = guessed({"HydroIdent", "PfafCode"}, false);
    EXPECT_EQ(noName, "");
    EXPECT_TRUE(refused->ui.AnswerRefused());
    EXPECT_EQ(refused->err.str(), "drennow: no entry has a name the run looks for, and without input it does not "
                                  "guess: give --layer with one of the entries offered: HydroIdent, PfafCode\n");

    auto [matched, matchedName] = guessed({"Watershed", "Other"}, true);
    EXPECT_EQ(matchedName, "Watershed");
    EXPECT_FALSE(matched->ui.AnswerRefused());
    auto [alone, onlyName] = guessed({"Basins"}, false);
    EXPECT_EQ(onlyName, "Basins");
    EXPECT_FALSE(alone->ui.AnswerRefused());
}

// What a progress bar wrote to its terminal.
class DrawnProgress {
public:
    DrawnProgress() : file_(open_memstream(&buffer_, &size_)) {}
    ~DrawnProgress()
    {
        std::fclose(file_);
        std::free(buffer_);
    }
    std::FILE* File() { return file_; }
    std::string Text()
    {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    std::FILE* file_;
};

TEST(TerminalProgressTest, DrawsTheMessageAndTheShareDoneOnOneLine)
{
    DrawnProgress drawn;
    TerminalStatusBar statusBar(drawn.File());
    auto bar = statusBar.ProgressBar();
    bar->MinRange(0);
    bar->MaxRange(4);
    bar->StepValue(1);
    bar->Position(2);
    bar->Message("Finding NextDownID 2.. Hit Esc to Cancel");
    bar->Show();
    EXPECT_THAT(drawn.Text(), HasSubstr("Finding NextDownID 2.. Hit Esc to Cancel [##########----------] 50%"));
    bar->Hide();
    EXPECT_THAT(drawn.Text(), ::testing::EndsWith("\r\x1b[K"));
    EXPECT_EQ(drawn.Text().find('\n'), std::string::npos);
}

// On a terminal of 80 columns, with counts of six and seven digits: the
// message whole, the bar narrower but showing the share done.
TEST(TerminalProgressTest, TheMessageIsNeverCutTheBarMakesRoomForIt)
{
    for (const char* count : {"123456", "1000000"}) {
        DrawnProgress drawn;
        TerminalProgressBar bar(drawn.File());
        bar.MaxRange(1000000);
        bar.Position(500000);
        const std::string message = std::string(texts::kBuildingCodes) + " " + count + ".. Hit Esc to Cancel";
        bar.Message(message);
        bar.Show();
        std::vector<gdaltest::DrawnLine> lines = gdaltest::DrawnLines(drawn.Text());
        ASSERT_EQ(lines.size(), 1u) << drawn.Text();
        EXPECT_EQ(lines[0].message, message);
        EXPECT_EQ(lines[0].percent, 50);
        EXPECT_GT(lines[0].width, 0);
        EXPECT_EQ(lines[0].filled, lines[0].width / 2);
        EXPECT_LE(drawn.Text().size() - std::string("\r\x1b[K").size(), 79u) << drawn.Text();
    }
}

// A loop as the run makes it: a step, then the step's count as the message.
void StepThrough(host::IStepProgressor& bar, const char* label, int32_t steps)
{
    host::RowCountText text(label);
    for (int32_t count = 1; count <= steps; ++count) {
        bar.Step();
        bar.Message(text.For(count));
    }
}

TEST(TerminalProgressTest, RedrawsAFewTimesASecondAtMost)
{
    DrawnProgress drawn;
    TerminalProgressBar bar(drawn.File());
    bar.MaxRange(100000);
    bar.Show();
    StepThrough(bar, texts::kFindingNextDown, 100000);
    size_t draws = gdaltest::DrawnLines(drawn.Text()).size();
    EXPECT_GE(draws, 1u);
    EXPECT_LE(draws, 3u);
}

TEST(TerminalProgressTest, StepsPastTheRangeKeepTheBarFull)
{
    DrawnProgress drawn;
    TerminalProgressBar bar(drawn.File());
    bar.MaxRange(2);
    bar.Position(5);
    bar.Message("Finding NextDownID 5.. Hit Esc to Cancel");
    bar.Show();
    EXPECT_THAT(drawn.Text(), HasSubstr("[####################] 100%"));
}

// The run's three loops on the one bar, each shown anew: what the user sees
// of a loop is its own count with its own share of the range, never the
// last count of the loop before.
TEST(TerminalProgressTest, EveryLineDrawnShowsACountAndItsShare)
{
    constexpr int32_t kRows = 1000;
    DrawnProgress drawn;
    TerminalProgressBar bar(drawn.File());
    bar.Show();
    bar.MaxRange(kRows);
    bar.MinRange(0);
    bar.Message(texts::kBuildingCodes);
    bar.StepValue(1);
    bar.Position(0);
    StepThrough(bar, texts::kBuildingCodes, kRows);
    bar.Hide();
    // The ID collection shows the bar before it sets the range.
    bar.Show();
    bar.MaxRange(kRows);
    bar.MinRange(0);
    bar.Position(0);
    StepThrough(bar, "Building ID collection", kRows);
    bar.Hide();
    bar.Position(0);
    bar.Show();
    StepThrough(bar, texts::kFindingNextDown, kRows / 2);

    std::vector<gdaltest::DrawnLine> lines = gdaltest::DrawnLines(drawn.Text());
    std::vector<std::string> counted;
    for (const gdaltest::DrawnLine& line : lines) {
        if (line.count) {
            EXPECT_TRUE(gdaltest::CountAndBarAgree(line, kRows)) << line.message << " " << line.percent << "%";
            counted.push_back(line.message);
        }
    }
    // The first step of each loop is shown at once.
    EXPECT_THAT(counted, ::testing::IsSupersetOf({std::string("Building ID collection 1.. Hit Esc to Cancel"),
                                                  std::string(texts::kFindingNextDown) + " 1.. Hit Esc to Cancel"}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().message, texts::kBuildingCodes);
    EXPECT_EQ(lines.front().percent, 0);
}

// A message that is not a step's count (the run's last one while it saves)
// is shown at once, however recently a count was.
TEST(TerminalProgressTest, AMessageOfItsOwnIsDrawnAtOnce)
{
    DrawnProgress drawn;
    TerminalProgressBar bar(drawn.File());
    bar.MaxRange(10);
    bar.Show();
    StepThrough(bar, texts::kFindingNextDown, 10);
    bar.Message(texts::kFinishing);
    std::vector<gdaltest::DrawnLine> lines = gdaltest::DrawnLines(drawn.Text());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().message, texts::kFinishing);
    EXPECT_EQ(lines.back().percent, 100);
}

// Once hidden, the bar shows nothing of what it showed before: shown again,
// it waits for its next message.
TEST(TerminalProgressTest, ShownAgainTheBarWaitsForItsNextMessage)
{
    DrawnProgress drawn;
    TerminalProgressBar bar(drawn.File());
    bar.MaxRange(4);
    bar.Show();
    StepThrough(bar, texts::kBuildingCodes, 4);
    bar.Hide();
    size_t hiddenAt = drawn.Text().size();
    bar.Position(0);
    bar.Show();
    EXPECT_EQ(drawn.Text().size(), hiddenAt);
    bar.Step();
    bar.Message("Next 1.. Hit Esc to Cancel");
    std::vector<gdaltest::DrawnLine> lines = gdaltest::DrawnLines(drawn.Text().substr(hiddenAt));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "Next 1.. Hit Esc to Cancel");
    EXPECT_EQ(lines[0].percent, 25);
}

}  // namespace
}  // namespace drennow::gdalhost
