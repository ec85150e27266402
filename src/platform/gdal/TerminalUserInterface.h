#pragma once

#include "host/UserInterface.h"
#include "platform/gdal/Console.h"

#include <optional>
#include <ostream>
#include <string>

namespace drennow::gdalhost {

// Answers given in advance, one per question the run can ask.
struct Answers {
    std::optional<bool> trailingZeros;
    std::optional<std::string> layer;
    std::optional<std::string> pfafField;
    std::optional<std::string> level;
    std::optional<bool> populatePfaf;
    std::optional<std::string> idField;
    std::optional<host::MessageAnswer> saveEdits;
};

// Message boxes, the input box and the selection dialog on a terminal: the
// text, the choices with the default marked, then the answer. A question
// answered in advance takes that answer; in batch mode (or once the input
// has ended) the others take what Enter takes. Nothing else waits.
class TerminalUserInterface : public host::IUserInterface {
public:
    // out: questions, answers and messages; err: refused answers.
    TerminalUserInterface(Answers answers, bool batch, std::ostream& out, std::ostream& err, LineSource& input);

    host::MessageAnswer MessageBox(const std::string& prompt, host::MessageButtons buttons,
                                   host::DefaultButton defaultButton, const std::string& title) override;
    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    void ShowModal(host::ISelectionDialog& dialog) override;

    // An answer given in advance was not among the entries offered; the
    // dialog was closed without one.
    bool AnswerRefused() const { return answerRefused_; }

private:
    // The typed line, or nothing when no line is to be read (batch mode,
    // end of input, Ctrl-C).
    std::optional<std::string> Ask(const std::string& choices);
    void Answered(const std::string& answer, const char* source);
    void Refuse(const std::string& option, const std::string& value, host::ISelectionDialog& dialog);
    void PrintTitle(const std::string& title);
    void PrintText(const std::string& text);

    Answers answers_;
    bool batch_;
    std::ostream& out_;
    std::ostream& err_;
    LineSource& input_;
    bool answerRefused_ = false;
};

}  // namespace drennow::gdalhost
