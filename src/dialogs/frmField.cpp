#include "dialogs/frmField.h"

#include "runtime/Error.h"

namespace drennow::dialogs {

void ComboBox::Clear()
{
    items_.clear();
    listIndex_ = -1;
    currentIsPreferred_ = false;
}

void ComboBox::AddItem(const std::string& text, int32_t index)
{
    if (index < 0) {
        items_.push_back(text);
        return;
    }
    if (index > ListCount()) {
        runtime::Raise(runtime::kInvalidProcedureCall);
    }
    items_.insert(items_.begin() + index, text);
    if (listIndex_ >= index) {
        ++listIndex_;
    }
}

void ComboBox::SetListIndex(int32_t index)
{
    if (index < -1 || index >= ListCount()) {
        runtime::Raise(runtime::kInvalidPropertyValue);
    }
    listIndex_ = index;
    currentIsPreferred_ = false;
}

void ComboBox::SelectPreferred(int32_t index)
{
    SetListIndex(index);
    currentIsPreferred_ = true;
}

std::string ComboBox::Text() const
{
    return listIndex_ < 0 ? "" : items_[static_cast<size_t>(listIndex_)];
}

void frmField::Load()
{
    if (loaded_) {
        return;
    }
    loaded_ = true;
    visible_ = false;
    caption = kDesignCaption;
    lblLayer = kDesignLabel;
    cboFld.Clear();
    needsPreferredName = false;
    passedOver = nullptr;
    chosenName_ = "";
}

void frmField::Unload()
{
    loaded_ = false;
    visible_ = false;
    caption = kDesignCaption;
    lblLayer = kDesignLabel;
    cboFld.Clear();
    needsPreferredName = false;
    passedOver = nullptr;
    chosenName_ = "";
}

void frmField::Show(host::IUserInterface& ui)
{
    Load();
    visible_ = true;
    ui.ShowModal(*this);
    visible_ = false;
}

bool frmField::CurrentEntryMayBeTakenUnasked() const
{
    if (cboFld.ListIndex() < 0) {
        return false;
    }
    return cboFld.CurrentIsPreferred() || (cboFld.ListCount() == 1 && !needsPreferredName);
}

std::vector<host::PassedOverField> frmField::PassedOver() const
{
    return passedOver ? passedOver() : std::vector<host::PassedOverField>{};
}

void frmField::SelectEntry(int32_t index)
{
    cboFld.SetListIndex(index);
}

void frmField::PressOK()
{
    if (cboFld.ListCount() == 0) {
        return;
    }
    std::string entry = cboFld.Text();
    if (entry.empty()) {
        return;
    }
    chosenName_ = entry;
    visible_ = false;
}

}  // namespace drennow::dialogs
