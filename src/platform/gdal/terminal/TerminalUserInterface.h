#pragma once

#include "host/Answers.h"
#include "host/UserInterface.h"
#include "platform/gdal/terminal/Console.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace drennow::gdalhost {

using host::Answers;

// The command's text, whose lines end in CR LF, as lines of a terminal: each
// ended by LF, the last one included.
std::string AsTerminalLines(const std::string& text);

// What the terminal tells of the map's layers beyond the entries it lists.
struct LayerFacts {
    // Every layer with its geometry type.
    std::function<std::vector<std::string>()> layers;
    // The datasets that hold a layer with geometry of that name.
    std::function<std::vector<std::string>(const std::string&)> datasetsHolding;
};

// Message boxes, the input box and the selection dialog on a terminal: the
// text, the choices with the default marked, then the answer. A question
// answered in advance takes that answer; in batch mode the others take what
// Enter takes, except a list whose current entry the dialog does not let a
// host take unasked: that is refused rather than guessed. Ctrl-C, Esc or the
// end of the input at a question decline it and every later one, answered
// in advance or not, so that the run ends before it changes anything.
// Nothing else waits. The closing message goes to out, every other message
// (a check's, an error report) to err.
class TerminalUserInterface : public host::IUserInterface {
public:
    // questions: questions and answers; out: the closing message; err:
    // other messages and refused answers.
    TerminalUserInterface(Answers answers, bool batch, std::ostream& questions, std::ostream& out, std::ostream& err,
                          LineSource& input);

    host::MessageAnswer MessageBox(host::Prompt id, const std::string& prompt, host::MessageButtons buttons,
                                   host::DefaultButton defaultButton, const std::string& title) override;
    std::string InputBox(host::Prompt id, const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    void ShowModal(host::ISelectionDialog& dialog) override;

    // Says why the layer list is empty, and refuses a layer whose name
    // another one shares: the run would take the first, whatever the answer.
    void TellOfLayers(LayerFacts facts) { layerFacts_ = std::move(facts); }

    // An answer given in advance was not among the entries offered, or a
    // list had no default to take; the dialog was closed without one.
    bool AnswerRefused() const { return answerRefused_; }
    // Esc was pressed at a question: the user cancelled the run.
    bool CancelledByEscape() const { return input_.EscapePressed(); }

private:
    // The typed line, or nothing when no line is to be read (batch mode,
    // end of input, Ctrl-C).
    std::optional<std::string> Ask(const std::string& choices);
    // Whether questions are declined from now on, and why.
    bool Declining() const;
    const char* DeclinedBy() const;
    void Decline(host::ISelectionDialog& dialog);
    void Answered(const std::string& answer, const char* source);
    void AskForEntry(host::ISelectionDialog& dialog);
    // Tells why, lists the entries and closes the dialog.
    void Refuse(const std::string& reason, host::ISelectionDialog& dialog);
    void ExplainNoLayer();
    void RefuseSharedLayerName(host::ISelectionDialog& dialog);
    std::string ListEntries(host::ISelectionDialog& dialog, const std::vector<std::string>& entries);
    void TakePrepared(host::ISelectionDialog& dialog, const std::vector<std::string>& entries,
                      const std::string& prepared);
    void TakeNoReply(host::ISelectionDialog& dialog, const std::vector<std::string>& entries);
    static std::string PassedOverNotes(const host::ISelectionDialog& dialog);
    static std::string Titled(const std::string& title);

    Answers answers_;
    bool batch_;
    std::ostream& questions_;
    std::ostream& out_;
    std::ostream& err_;
    LineSource& input_;
    bool answerRefused_ = false;
    bool inputEnded_ = false;  // at a question
    LayerFacts layerFacts_;
};

}  // namespace drennow::gdalhost
