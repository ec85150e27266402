#pragma once

#include "host/UserInterface.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace drennow::dialogs {

// A drop-down list of names that keeps the order in which entries are added.
class ComboBox {
public:
    void Clear();
    // Adds at the end, or before the entry at index.
    void AddItem(const std::string& text, int32_t index = -1);
    int32_t ListCount() const { return static_cast<int32_t>(items_.size()); }
    const std::vector<std::string>& Items() const { return items_; }
    int32_t ListIndex() const { return listIndex_; }
    // -1 leaves no current entry; an index outside the list raises error 380.
    void SetListIndex(int32_t index);
    // Makes the entry current because its name is one of the preferred ones.
    void SelectPreferred(int32_t index);
    bool CurrentIsPreferred() const { return currentIsPreferred_; }
    // The current entry's text, "" when there is none.
    std::string Text() const;

private:
    std::vector<std::string> items_;
    int32_t listIndex_ = -1;
    bool currentIsPreferred_ = false;
};

// Position and size of a control, in twips (1/1440 inch).
struct ControlLayout {
    const char* Name;
    int32_t Left;
    int32_t Top;
    int32_t Width;
    int32_t Height;
};

// The modal dialog through which the user picks a layer or a field. The
// caller loads it, sets the question, caption and label, fills cboFld, shows
// it and reads FieldName: the confirmed entry, or "" when none was confirmed.
class frmField : public host::ISelectionDialog {
public:
    static constexpr const char* kDesignCaption = "Select Field";
    static constexpr const char* kDesignLabel = "Select Length Field";
    static constexpr const char* kOKCaption = "OK";
    static constexpr const char* kCancelCaption = "Cancel";
    static constexpr int32_t kClientWidth = 4155;
    static constexpr int32_t kClientHeight = 1410;
    static constexpr int32_t kTwipsPerInch = 1440;
    static constexpr std::array<ControlLayout, 4> kLayout{{
        {"lblLayer", 120, 120, 3855, 255},
        {"cboFld", 120, 480, 3855, 315},
        {"cmdOK", 1200, 960, 735, 375},
        {"cmdCancel", 2040, 960, 735, 375},
    }};

    void Load();
    void Unload();
    bool IsLoaded() const { return loaded_; }
    // Shows the dialog modally through the platform; returns when it is
    // hidden or unloaded.
    void Show(host::IUserInterface& ui);

    std::string FieldName() const { return loaded_ ? chosenName_ : ""; }

    host::Prompt question = host::Prompt::Layer;
    std::string caption = kDesignCaption;
    std::string lblLayer = kDesignLabel;
    ComboBox cboFld;
    // Set by the caller after filling the list; reset by Load.
    bool needsPreferredName = false;  // only a name the run looks for is taken unasked
    // Asked only when a host wants them: finding them reads the fields again.
    std::function<std::vector<host::PassedOverField>()> passedOver;

    // The dialog as the platform shows it.
    host::Prompt Question() const override { return question; }
    std::string Caption() const override { return caption; }
    std::string LabelText() const override { return lblLayer; }
    std::vector<std::string> Entries() const override { return cboFld.Items(); }
    int32_t ListIndex() const override { return cboFld.ListIndex(); }
    bool CurrentEntryIsPreferred() const override { return cboFld.CurrentIsPreferred(); }
    bool CurrentEntryMayBeTakenUnasked() const override;
    std::vector<host::PassedOverField> PassedOver() const override;
    bool IsVisible() const override { return loaded_ && visible_; }
    void SelectEntry(int32_t index) override;
    void PressOK() override;
    void PressCancel() override { Unload(); }
    void CloseBox() override { Unload(); }

private:
    bool loaded_ = false;
    bool visible_ = false;
    std::string chosenName_;
};

}  // namespace drennow::dialogs
