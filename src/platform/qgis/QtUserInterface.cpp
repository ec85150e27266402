#include "platform/qgis/QtUserInterface.h"

#include "dialogs/frmField.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace drennow::qgis {

namespace {

// Qt breaks lines at LF alone.
QString ShownText(const std::string& text)
{
    return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

int ToPixels(int32_t twips, qreal dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / dialogs::frmField::kTwipsPerInch));
}

QMessageBox::StandardButtons ButtonsOf(host::MessageButtons buttons)
{
    switch (buttons) {
    case host::MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case host::MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::StandardButton DefaultOf(host::MessageButtons buttons, host::DefaultButton defaultButton)
{
    if (buttons == host::MessageButtons::OK) {
        return QMessageBox::Ok;
    }
    switch (defaultButton) {
    case host::DefaultButton::Second:
        return QMessageBox::No;
    case host::DefaultButton::Third:
        return buttons == host::MessageButtons::YesNoCancel ? QMessageBox::Cancel : QMessageBox::Yes;
    default:
        return QMessageBox::Yes;
    }
}

host::MessageAnswer AnswerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return host::kAnswerOK;
    case QMessageBox::Yes:
        return host::kAnswerYes;
    case QMessageBox::No:
        return host::kAnswerNo;
    default:
        return host::kAnswerCancel;
    }
}

// A message box that tells Esc and its close box from a click of No.
class QuestionBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool Declined() const { return declined_; }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        declined_ = declined_ || event->matches(QKeySequence::Cancel);
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        declined_ = true;
        QMessageBox::closeEvent(event);
    }

private:
    bool declined_ = false;
};

// What the answer to a declined question is: the one that ends the run or
// leads to a choice that does.
host::MessageAnswer DecliningAnswer(host::MessageButtons buttons)
{
    switch (buttons) {
    case host::MessageButtons::YesNo:
        return host::kAnswerNo;
    case host::MessageButtons::YesNoCancel:
        return host::kAnswerCancel;
    default:
        return host::kAnswerOK;
    }
}

// Why a list is empty, in its place.
QString EmptyListReason(host::Prompt question)
{
    switch (question) {
    case host::Prompt::Layer:
        return QStringLiteral("No polygon layer in the project");
    default:
        return QStringLiteral("No whole-number field in the layer");
    }
}

}  // namespace

SelectionWindow::SelectionWindow(host::ISelectionDialog& dialog, QWidget* centreOver)
    : dialog_(dialog),
      lblLayer_(new QLabel(this)),
      cboFld_(new QComboBox(this)),
      cmdOK_(new QPushButton(QString::fromLatin1(dialogs::frmField::kOKCaption), this)),
      cmdCancel_(new QPushButton(QString::fromLatin1(dialogs::frmField::kCancelCaption), this))
{
    setObjectName(QStringLiteral("frmField"));
    lblLayer_->setObjectName(QStringLiteral("lblLayer"));
    cboFld_->setObjectName(QStringLiteral("cboFld"));
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    for (QPushButton* button : {cmdOK_, cmdCancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    setWindowTitle(QString::fromStdString(dialog.Caption()));
    lblLayer_->setText(QString::fromStdString(dialog.LabelText()));
    for (const std::string& entry : dialog.Entries()) {
        cboFld_->addItem(QString::fromStdString(entry));
    }
    cboFld_->setCurrentIndex(dialog.ListIndex());
    if (cboFld_->count() == 0) {
        cboFld_->setPlaceholderText(EmptyListReason(dialog.Question()));
        cmdOK_->setEnabled(false);
    }
    PlaceControls();
    if (centreOver) {
        move(centreOver->geometry().center() - rect().center());
    }
    setTabOrder(cboFld_, cmdOK_);
    setTabOrder(cmdOK_, cmdCancel_);
    cboFld_->setFocus();

    connect(cboFld_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        try {
            dialog_.SelectEntry(index);
        } catch (const std::exception& error) {
            qWarning() << "Drennow: selecting entry" << index << "failed:" << error.what();
        }
    });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { Perform(&host::ISelectionDialog::PressOK); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { Perform(&host::ISelectionDialog::PressCancel); });
}

void SelectionWindow::PlaceControls()
{
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const qreal dpiX = screen->logicalDotsPerInchX();
    const qreal dpiY = screen->logicalDotsPerInchY();
    for (const dialogs::ControlLayout& control : dialogs::frmField::kLayout) {
        if (auto* widget = findChild<QWidget*>(QString::fromLatin1(control.Name))) {
            widget->setGeometry(ToPixels(control.Left, dpiX), ToPixels(control.Top, dpiY),
                                ToPixels(control.Width, dpiX), ToPixels(control.Height, dpiY));
        }
    }
    const int wider = std::max(0, lblLayer_->sizeHint().width() - lblLayer_->width());
    lblLayer_->resize(lblLayer_->width() + wider, lblLayer_->height());
    cboFld_->resize(cboFld_->width() + wider, cboFld_->height());
    setFixedSize(ToPixels(dialogs::frmField::kClientWidth, dpiX) + wider,
                 ToPixels(dialogs::frmField::kClientHeight, dpiY));
}

void SelectionWindow::Perform(void (host::ISelectionDialog::*action)())
{
    try {
        (dialog_.*action)();
    } catch (const std::exception& error) {
        qWarning() << "Drennow: dialog action failed:" << error.what();
    }
    if (!dialog_.IsVisible()) {
        done(QDialog::Accepted);
    }
}

void SelectionWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        Perform(&host::ISelectionDialog::PressCancel);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        break;
    default:
        QDialog::keyPressEvent(event);
    }
}

void SelectionWindow::closeEvent(QCloseEvent* event)
{
    Perform(&host::ISelectionDialog::CloseBox);
    event->setAccepted(!dialog_.IsVisible());
}

host::MessageAnswer QtUserInterface::MessageBox(host::Prompt, const std::string& prompt, host::MessageButtons buttons,
                                                host::DefaultButton defaultButton, const std::string& title)
{
    if (declined_ && buttons != host::MessageButtons::OK) {
        return DecliningAnswer(buttons);
    }
    QuestionBox box(QMessageBox::NoIcon, QString::fromStdString(title), ShownText(prompt), ButtonsOf(buttons),
                    mainWindow_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(DefaultOf(buttons, defaultButton));
    box.exec();
    if (box.Declined() && buttons != host::MessageButtons::OK) {
        declined_ = true;
        return DecliningAnswer(buttons);
    }
    return AnswerOf(box.standardButton(box.clickedButton()));
}

std::string QtUserInterface::InputBox(host::Prompt, const std::string& prompt, const std::string& title,
                                      const std::string& defaultText)
{
    if (declined_) {
        return "";
    }
    QInputDialog box(mainWindow_);
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(QString::fromStdString(title));
    box.setLabelText(ShownText(prompt));
    box.setTextValue(QString::fromStdString(defaultText));
    if (box.exec() != QDialog::Accepted) {
        return "";
    }
    return box.textValue().toStdString();
}

void QtUserInterface::ShowModal(host::ISelectionDialog& dialog)
{
    if (!dialog.IsVisible()) {
        return;
    }
    if (declined_) {
        dialog.PressCancel();
        return;
    }
    SelectionWindow window(dialog, mainWindow_);
    window.exec();
}

}  // namespace drennow::qgis
