#pragma once

#include "host/UserInterface.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QPushButton;

namespace drennow::qgis {

// The selection dialog as a Qt window: lblLayer, cboFld, cmdOK and cmdCancel
// at their design-time layout, turned from twips into pixels at the screen's
// resolution; a label longer than its place widens the label, the list and
// the window, so that it is read whole. The dialog object decides what each
// action does; the window closes as soon as that object is no longer
// visible. An empty list says why it is empty, and OK is then disabled.
class SelectionWindow : public QDialog {
public:
    explicit SelectionWindow(host::ISelectionDialog& dialog, QWidget* centreOver = nullptr);

protected:
    // Esc is Cancel, as in every QGIS dialog; Enter is bound to no button.
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void PlaceControls();
    void Perform(void (host::ISelectionDialog::*action)());

    host::ISelectionDialog& dialog_;
    QLabel* lblLayer_;
    QComboBox* cboFld_;
    QPushButton* cmdOK_;
    QPushButton* cmdCancel_;
};

// Message boxes without icon, the input box and the selection dialog, all
// modal; boxes belong to the main window, the selection dialog to no window.
// Esc or the close box declines any question: a Yes/No question has no
// answer meaning "stop", so a declined one answers No and every later
// question of the run is then declined without being shown; the run ends at
// the next choice, which follows every No, with nothing changed.
class QtUserInterface : public host::IUserInterface {
public:
    explicit QtUserInterface(QWidget* mainWindow) : mainWindow_(mainWindow) {}

    // A click starts with nothing declined.
    void NewRun() { declined_ = false; }

    host::MessageAnswer MessageBox(host::Prompt id, const std::string& prompt, host::MessageButtons buttons,
                                   host::DefaultButton defaultButton, const std::string& title) override;
    std::string InputBox(host::Prompt id, const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    void ShowModal(host::ISelectionDialog& dialog) override;

private:
    QPointer<QWidget> mainWindow_;
    bool declined_ = false;
};

}  // namespace drennow::qgis
