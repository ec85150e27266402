#pragma once

#include "host/Unknown.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drennow::host {

// What the run asks or shows. A host that answers questions without a person
// recognises them by this, never by their wording.
enum class Prompt {
    TrailingZeros,  // Yes / No
    Layer,          // selection dialog
    PfafField,      // selection dialog
    Level,          // input box
    Populate,       // Yes / No
    IdField,        // selection dialog
    SaveEdits,      // Yes / No / Cancel
    Completion,     // the closing message: the run finished
    CheckFailed,    // a check's message: the run ended without changing values
    ErrorReport,    // the run's error report
};

enum class MessageButtons { OK, YesNo, YesNoCancel };
enum class DefaultButton { First, Second, Third };

// What a message box returns. Closing a Yes/No/Cancel box gives Cancel.
enum MessageAnswer : int16_t {
    kAnswerOK = 1,
    kAnswerCancel = 2,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

// A field left out of a list for its type.
struct PassedOverField {
    std::string name;
    int32_t type = 0;  // a host field type
};

// The modal selection dialog as a host shows it: a caption, a label, a list of
// entries with a current one, and the user's actions. The dialog decides what
// an action does; the host shows the dialog until it is no longer visible.
struct ISelectionDialog {
    virtual ~ISelectionDialog() = default;
    virtual Prompt Question() const = 0;
    virtual std::string Caption() const = 0;
    virtual std::string LabelText() const = 0;
    virtual std::vector<std::string> Entries() const = 0;
    virtual int32_t ListIndex() const = 0;  // -1 when there is no current entry
    // The current entry was pre-selected for its name, not only for being first.
    virtual bool CurrentEntryIsPreferred() const = 0;
    // What a host that asks no person may take: the current entry when it was
    // pre-selected for its name, or, unless the question needs a name, when it
    // is the only one.
    virtual bool CurrentEntryMayBeTakenUnasked() const = 0;
    // Fields that bear one of the question's names but are not offered, being
    // of another type: what a host tells a user who expected them.
    virtual std::vector<PassedOverField> PassedOver() const = 0;
    virtual bool IsVisible() const = 0;

    virtual void SelectEntry(int32_t index) = 0;
    virtual void PressOK() = 0;
    virtual void PressCancel() = 0;
    virtual void CloseBox() = 0;
};

// The platform's modal user interface. Boxes show no icon.
struct IUserInterface : virtual IUnknown {
    virtual MessageAnswer MessageBox(Prompt id, const std::string& prompt, MessageButtons buttons,
                                     DefaultButton defaultButton, const std::string& title) = 0;
    // The reply, or "" when the user cancelled.
    virtual std::string InputBox(Prompt id, const std::string& prompt, const std::string& title,
                                 const std::string& defaultText) = 0;
    // Returns when the dialog is hidden or unloaded.
    virtual void ShowModal(ISelectionDialog& dialog) = 0;
};

}  // namespace drennow::host
