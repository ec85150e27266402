#include "platform/gdal/terminal/TerminalUserInterface.h"

#include "command/RunTexts.h"
#include "host/Data.h"
#include "request/RunOptionTable.h"
#include "runtime/Variant.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace drennow::gdalhost {

namespace {

const char* ButtonName(host::MessageAnswer answer)
{
    switch (answer) {
    case host::kAnswerYes:
        return "Yes";
    case host::kAnswerNo:
        return "No";
    case host::kAnswerCancel:
        return "Cancel";
    default:
        return "OK";
    }
}

std::vector<host::MessageAnswer> Buttons(host::MessageButtons buttons)
{
    switch (buttons) {
    case host::MessageButtons::YesNo:
        return {host::kAnswerYes, host::kAnswerNo};
    case host::MessageButtons::YesNoCancel:
        return {host::kAnswerYes, host::kAnswerNo, host::kAnswerCancel};
    default:
        return {host::kAnswerOK};
    }
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<host::MessageAnswer> ParseButton(const std::string& reply,
                                               const std::vector<host::MessageAnswer>& offered)
{
    std::string word = Lower(reply);
    for (host::MessageAnswer button : offered) {
        std::string name = Lower(ButtonName(button));
        if (word == name || word == name.substr(0, 1)) {
            return button;
        }
    }
    return std::nullopt;
}

// Entries are numbered from 1 on the terminal.
std::optional<int32_t> ParseEntryNumber(const std::string& reply, size_t count)
{
    if (reply.empty() || reply.size() > 9 || !std::all_of(reply.begin(), reply.end(), ::isdigit)) {
        return std::nullopt;
    }
    int32_t number = std::stoi(reply);
    if (number < 1 || static_cast<size_t>(number) > count) {
        return std::nullopt;
    }
    return number - 1;
}

std::optional<int32_t> FindEntry(const std::vector<std::string>& entries, const std::string& name)
{
    auto found = std::find(entries.begin(), entries.end(), name);
    if (found == entries.end()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(found - entries.begin());
}

}  // namespace

TerminalUserInterface::TerminalUserInterface(Answers answers, bool batch, std::ostream& questions, std::ostream& out,
                                             std::ostream& err, LineSource& input)
    : answers_(std::move(answers)), batch_(batch), questions_(questions), out_(out), err_(err), input_(input)
{
}

host::MessageAnswer TerminalUserInterface::MessageBox(host::Prompt id, const std::string& prompt,
                                                      host::MessageButtons buttons, host::DefaultButton defaultButton,
                                                      const std::string& title)
{
    std::vector<host::MessageAnswer> offered = Buttons(buttons);
    if (offered.size() == 1) {
        // The closing message is the run's result; any other is for
        // stderr, where scripts look for what went wrong.
        std::ostream& to = id == host::Prompt::Completion ? out_ : err_;
        questions_.flush();
        to << Titled(title) << AsTerminalLines(prompt);
        to.flush();
        return offered.front();
    }
    questions_ << Titled(title) << AsTerminalLines(prompt);
    host::MessageAnswer byDefault = offered[std::min(static_cast<size_t>(defaultButton), offered.size() - 1)];
    std::string choices = "[";
    for (host::MessageAnswer button : offered) {
        choices += std::string(choices.size() > 1 ? "/" : "") + ButtonName(button);
    }
    choices += ", Enter = " + std::string(ButtonName(byDefault)) + "] ";

    std::optional<host::MessageAnswer> prepared = answers_.ButtonFor(id);
    if (prepared && !Declining() && std::find(offered.begin(), offered.end(), *prepared) != offered.end()) {
        questions_ << choices;
        Answered(ButtonName(*prepared), request::OptionAnswering(id));
        return *prepared;
    }

    while (true) {
        std::optional<std::string> reply = Ask(choices);
        if (!reply) {
            // No or Cancel: the run's next question, or the run, ends then.
            if (Declining()) {
                host::MessageAnswer declined = offered.back();
                Answered(ButtonName(declined), DeclinedBy());
                return declined;
            }
            Answered(ButtonName(byDefault), "default");
            return byDefault;
        }
        if (reply->empty()) {
            return byDefault;
        }
        if (std::optional<host::MessageAnswer> button = ParseButton(*reply, offered)) {
            return *button;
        }
        questions_ << "Please answer with one of the buttons.\n";
    }
}

std::string TerminalUserInterface::InputBox(host::Prompt id, const std::string& prompt, const std::string& title,
                                            const std::string& defaultText)
{
    questions_ << Titled(title) << AsTerminalLines(prompt);
    std::string choices = "[Enter = " + defaultText + "] ";
    const std::optional<std::string>& prepared = answers_.TextFor(id);
    if (prepared && !Declining()) {
        questions_ << choices;
        Answered(*prepared, request::OptionAnswering(id));
        return *prepared;
    }
    std::optional<std::string> reply = Ask(choices);
    if (!reply) {
        if (Declining()) {
            Answered("Cancel", DeclinedBy());
            return "";
        }
        Answered(defaultText, "default");
        return defaultText;
    }
    if (reply->empty()) {
        return defaultText;
    }
    // The run ends without a word on a level that is not a number.
    if (id == host::Prompt::Level && !runtime::IsNumeric(runtime::Variant(*reply))) {
        err_ << "drennow: the level typed, " << *reply << ", is not a number: the run ends, and nothing is changed\n";
        err_.flush();
    }
    return *reply;
}

void TerminalUserInterface::ShowModal(host::ISelectionDialog& dialog)
{
    AskForEntry(dialog);
    RefuseSharedLayerName(dialog);
}

void TerminalUserInterface::AskForEntry(host::ISelectionDialog& dialog)
{
    const std::vector<std::string> entries = dialog.Entries();
    const std::string choices = ListEntries(dialog, entries);
    if (Declining()) {
        questions_ << choices;
        Decline(dialog);
        return;
    }
    if (const std::optional<std::string>& prepared = answers_.TextFor(dialog.Question())) {
        questions_ << choices;
        TakePrepared(dialog, entries, *prepared);
        return;
    }
    while (dialog.IsVisible()) {
        std::optional<std::string> reply = Ask(choices);
        if (!reply) {
            TakeNoReply(dialog, entries);
            return;
        }
        if (reply->empty()) {
            dialog.PressOK();
        } else if (std::optional<int32_t> byName = FindEntry(entries, *reply)) {
            dialog.SelectEntry(*byName);
            dialog.PressOK();
        } else if (std::optional<int32_t> byNumber = ParseEntryNumber(*reply, entries.size())) {
            dialog.SelectEntry(*byNumber);
            dialog.PressOK();
        } else if (Lower(*reply) == "c" || Lower(*reply) == "cancel") {
            dialog.PressCancel();
        } else {
            questions_ << "Not an entry: " << *reply << "\n";
            continue;
        }
        if (dialog.IsVisible()) {
            questions_ << "There is nothing to choose; c cancels.\n";
        }
    }
}

// Prints the dialog's question and its numbered entries, the current one
// starred; the prompt of its choices.
std::string TerminalUserInterface::ListEntries(host::ISelectionDialog& dialog, const std::vector<std::string>& entries)
{
    questions_ << Titled(dialog.Caption()) << dialog.LabelText() << "\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        bool current = static_cast<int32_t>(i) == dialog.ListIndex();
        questions_ << (current ? "  * " : "    ") << i + 1 << ") " << entries[i] << "\n";
    }
    if (entries.empty()) {
        questions_ << "    (no entries)\n";
        if (dialog.Question() == host::Prompt::Layer) {
            ExplainNoLayer();
        }
    }
    questions_ << PassedOverNotes(dialog);
    return entries.empty() || dialog.ListIndex() < 0
               ? std::string("[c = Cancel] ")
               : "[number or name, Enter = " + std::to_string(dialog.ListIndex() + 1) + ", c = Cancel] ";
}

// The answer an option gave: one of the entries, or the run is refused.
void TerminalUserInterface::TakePrepared(host::ISelectionDialog& dialog, const std::vector<std::string>& entries,
                                         const std::string& prepared)
{
    const char* option = request::OptionAnswering(dialog.Question());
    std::optional<int32_t> index = FindEntry(entries, prepared);
    if (!index) {
        Answered("refused", option);
        Refuse(option + std::string(" ") + prepared + " is not one of the entries offered", dialog);
        return;
    }
    dialog.SelectEntry(*index);
    dialog.PressOK();
    Answered(prepared, option);
}

// No reply to read: Ctrl-C, Esc or the end of the input cancel; otherwise
// the current entry is taken when the dialog lets a host take it unasked (a
// name the run looks for, or the only entry of a list that needs no name),
// and the run is refused rather than guess.
void TerminalUserInterface::TakeNoReply(host::ISelectionDialog& dialog, const std::vector<std::string>& entries)
{
    if (Declining()) {
        Decline(dialog);
        return;
    }
    if (!entries.empty() && !dialog.CurrentEntryMayBeTakenUnasked()) {
        Answered("refused", "no default to take");
        Refuse(std::string("no entry has a name the run looks for, and without input it does not guess: give ") +
                   request::OptionAnswering(dialog.Question()) + " with one of the entries offered",
               dialog);
        return;
    }
    int32_t current = dialog.ListIndex();
    dialog.PressOK();
    if (dialog.IsVisible()) {
        dialog.CloseBox();
        Answered("nothing to take", "default");
    } else {
        Answered(entries[static_cast<size_t>(current)], "default");
    }
}

std::optional<std::string> TerminalUserInterface::Ask(const std::string& choices)
{
    questions_ << choices;
    questions_.flush();
    if (batch_ || Declining()) {
        return std::nullopt;
    }
    std::optional<std::string> reply = input_.ReadLine();
    if (!reply && !input_.Interrupted() && !input_.EscapePressed()) {
        // Ctrl-D is no answer: taking every default would write the data.
        inputEnded_ = true;
        questions_ << "(end of input) ";
        err_ << "drennow: the input ended at a question (Ctrl-D): the choice is declined, and nothing is changed\n";
        err_.flush();
    }
    return reply;
}

bool TerminalUserInterface::Declining() const
{
    return input_.Interrupted() || input_.EscapePressed() || inputEnded_;
}

const char* TerminalUserInterface::DeclinedBy() const
{
    if (input_.Interrupted()) {
        return "Ctrl-C";
    }
    return input_.EscapePressed() ? "Esc" : "end of input";
}

void TerminalUserInterface::Decline(host::ISelectionDialog& dialog)
{
    dialog.PressCancel();
    Answered("Cancel", DeclinedBy());
}

void TerminalUserInterface::Answered(const std::string& answer, const char* source)
{
    questions_ << answer << " (" << source << ")\n";
    questions_.flush();
}

void TerminalUserInterface::Refuse(const std::string& reason, host::ISelectionDialog& dialog)
{
    std::vector<std::string> entries = dialog.Entries();
    err_ << "drennow: " << reason << ": ";
    if (entries.empty()) {
        err_ << "there are none";
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        err_ << (i == 0 ? "" : ", ") << entries[i];
    }
    err_ << "\n" << PassedOverNotes(dialog);
    err_.flush();
    answerRefused_ = true;
    dialog.CloseBox();
}

// A line for each field of the run's names that the list leaves out for its
// type, with what to do about it.
std::string TerminalUserInterface::PassedOverNotes(const host::ISelectionDialog& dialog)
{
    std::string notes;
    for (const host::PassedOverField& field : dialog.PassedOver()) {
        notes += "drennow: " + field.name + " is a " + host::FieldTypeName(field.type) +
                 " field, which is not offered: give " + request::OptionAnswering(dialog.Question()) + " " + field.name +
                 " to convert its values (a value that is no whole number ends the run), or store them in an "
                 "integer field\n";
    }
    return notes;
}

void TerminalUserInterface::ExplainNoLayer()
{
    if (!layerFacts_.layers) {
        return;
    }
    std::vector<std::string> layers = layerFacts_.layers();
    err_ << "drennow: no layer holds polygons, so there is no watershed layer to choose";
    if (layers.empty()) {
        err_ << ": the datasets hold no layer";
    }
    for (size_t i = 0; i < layers.size(); ++i) {
        err_ << (i == 0 ? "; the layers: " : ", ") << layers[i];
    }
    err_ << "\n";
    err_.flush();
}

void TerminalUserInterface::RefuseSharedLayerName(host::ISelectionDialog& dialog)
{
    // A dialog closed without an answer has no current entry.
    if (dialog.Question() != host::Prompt::Layer || dialog.ListIndex() < 0 || !layerFacts_.datasetsHolding) {
        return;
    }
    const std::string name = dialog.Entries()[static_cast<size_t>(dialog.ListIndex())];
    std::vector<std::string> datasets = layerFacts_.datasetsHolding(name);
    if (datasets.size() < 2) {
        return;
    }
    err_ << "drennow: " << datasets.size() << " layers are called " << name << " (in ";
    for (size_t i = 0; i < datasets.size(); ++i) {
        err_ << (i == 0 ? "" : ", ") << datasets[i];
    }
    err_ << "), and the run would not know which to edit: give only the dataset whose layer is to be edited, "
            "or rename the others\n";
    err_.flush();
    answerRefused_ = true;
    dialog.CloseBox();
}

std::string TerminalUserInterface::Titled(const std::string& title)
{
    // The run's own title is on every box but one: not worth a line.
    return title == command::texts::kTitle ? "\n" : "\n== " + title + " ==\n";
}

std::string AsTerminalLines(const std::string& text)
{
    std::string shown;
    for (char c : text) {
        if (c != '\r') {
            shown += c;
        }
    }
    if (shown.empty() || shown.back() != '\n') {
        shown += "\n";
    }
    return shown;
}

}  // namespace drennow::gdalhost
