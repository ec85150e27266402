#pragma once

#include "host/UserInterface.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace drennow::memory {

// One user action in the selection dialog.
struct DialogStep {
    enum Kind { Choose, PressOK, PressCancel, CloseBox, Call };
    Kind kind = PressOK;
    std::string entry;            // for Choose: the entry's text
    std::function<void()> call;   // for Call: something that happens meanwhile
};

// What the user does with one selection dialog, in order.
using DialogScript = std::vector<DialogStep>;

// Picks the entry and presses OK.
DialogScript Pick(const std::string& entry);
// Presses OK on the pre-selected entry.
DialogScript AcceptDefault();
DialogScript CancelDialog();

// Everything the user was shown.
struct ShownItem {
    enum Kind { Message, Input, Dialog };
    Kind kind = Message;
    host::Prompt id = host::Prompt::CheckFailed;
    std::string title;  // caption of a dialog
    std::string text;   // prompt, or the dialog's label
    host::MessageButtons buttons = host::MessageButtons::OK;
    host::DefaultButton defaultButton = host::DefaultButton::First;
    std::string defaultText;           // input box
    std::vector<std::string> entries;  // dialog, as shown
    int32_t listIndex = -1;            // dialog's pre-selected entry when shown
    bool takenUnasked = false;         // dialog: a host without a person may take it
    std::vector<host::PassedOverField> passedOver;  // dialog, when recorded
};

// A user interface that answers each question from a queue and records all
// it shows. A message box with only OK needs no answer; a question without a
// scripted answer fails the run with an internal error.
class ScriptedUi : public host::IUserInterface {
public:
    using Answer = std::variant<host::MessageAnswer, std::string, DialogScript>;

    void Queue(Answer answer) { answers_.push_back(std::move(answer)); }
    bool AllAnswersUsed() const { return answers_.empty(); }

    host::MessageAnswer MessageBox(host::Prompt id, const std::string& prompt, host::MessageButtons buttons,
                                   host::DefaultButton defaultButton, const std::string& title) override;
    std::string InputBox(host::Prompt id, const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    void ShowModal(host::ISelectionDialog& dialog) override;

    std::vector<ShownItem> shown;
    // Asking a dialog for the fields it passed over reads the fields again.
    bool recordPassedOver = false;
    // Messages with only OK, in order: the texts.
    std::vector<std::string> Messages() const;

private:
    template <typename T>
    T Next(const std::string& question);

    std::deque<Answer> answers_;
};

}  // namespace drennow::memory
