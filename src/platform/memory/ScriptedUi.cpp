#include "platform/memory/ScriptedUi.h"

#include <algorithm>
#include <stdexcept>

namespace drennow::memory {

DialogScript Pick(const std::string& entry)
{
    return {{DialogStep::Choose, entry, {}}, {DialogStep::PressOK, "", {}}};
}

DialogScript AcceptDefault()
{
    return {{DialogStep::PressOK, "", {}}};
}

DialogScript CancelDialog()
{
    return {{DialogStep::PressCancel, "", {}}};
}

template <typename T>
T ScriptedUi::Next(const std::string& question)
{
    if (answers_.empty() || !std::holds_alternative<T>(answers_.front())) {
        throw std::logic_error("no scripted answer for: " + question);
    }
    T answer = std::get<T>(answers_.front());
    answers_.pop_front();
    return answer;
}

host::MessageAnswer ScriptedUi::MessageBox(host::Prompt id, const std::string& prompt, host::MessageButtons buttons,
                                           host::DefaultButton defaultButton, const std::string& title)
{
    shown.push_back({ShownItem::Message, id, title, prompt, buttons, defaultButton, "", {}, -1, false, {}});
    if (buttons == host::MessageButtons::OK) {
        return host::kAnswerOK;
    }
    return Next<host::MessageAnswer>(prompt);
}

std::string ScriptedUi::InputBox(host::Prompt id, const std::string& prompt, const std::string& title,
                                 const std::string& defaultText)
{
    shown.push_back({ShownItem::Input, id, title, prompt, host::MessageButtons::OK, host::DefaultButton::First,
                     defaultText, {}, -1, false, {}});
    return Next<std::string>(prompt);
}

void ScriptedUi::ShowModal(host::ISelectionDialog& dialog)
{
    shown.push_back({ShownItem::Dialog, dialog.Question(), dialog.Caption(), dialog.LabelText(), host::MessageButtons::OK,
                     host::DefaultButton::First, "", dialog.Entries(), dialog.ListIndex(),
                     dialog.CurrentEntryMayBeTakenUnasked(),
                     recordPassedOver ? dialog.PassedOver() : std::vector<host::PassedOverField>{}});
    DialogScript script = Next<DialogScript>(dialog.LabelText());
    for (const DialogStep& step : script) {
        if (!dialog.IsVisible()) {
            throw std::logic_error("dialog closed before the script ended: " + dialog.LabelText());
        }
        switch (step.kind) {
        case DialogStep::Choose: {
            std::vector<std::string> entries = dialog.Entries();
            auto found = std::find(entries.begin(), entries.end(), step.entry);
            if (found == entries.end()) {
                throw std::logic_error("no entry " + step.entry + " in: " + dialog.LabelText());
            }
            dialog.SelectEntry(static_cast<int32_t>(found - entries.begin()));
            break;
        }
        case DialogStep::PressOK:
            dialog.PressOK();
            break;
        case DialogStep::PressCancel:
            dialog.PressCancel();
            break;
        case DialogStep::CloseBox:
            dialog.CloseBox();
            break;
        case DialogStep::Call:
            step.call();
            break;
        }
    }
    if (dialog.IsVisible()) {
        throw std::logic_error("dialog still open after its script: " + dialog.LabelText());
    }
}

std::vector<std::string> ScriptedUi::Messages() const
{
    std::vector<std::string> texts;
    for (const ShownItem& item : shown) {
        if (item.kind == ShownItem::Message && item.buttons == host::MessageButtons::OK) {
            texts.push_back(item.text);
        }
    }
    return texts;
}

}  // namespace drennow::memory
