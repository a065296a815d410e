#include "app/FirewallConsentBox.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/COnduLofrinDlg.h"
#include "app/COnduLofrinDlgNotices.h"

std::unique_ptr<QMessageBox> FirewallConsentBox(QWidget* parent, const FirewallFinding& finding) {
    auto box =
        std::make_unique<QMessageBox>(QMessageBox::Question, NoticeCaption(),
                                      FirewallQuestionText(finding), QMessageBox::NoButton, parent);
    box->addButton(COnduLofrinDlg::tr("让VR一体机通过"), QMessageBox::AcceptRole);
    box->setDefaultButton(box->addButton(COnduLofrinDlg::tr("暂不"), QMessageBox::RejectRole));
    return box;
}

bool AskFirewallConsent(QWidget* parent, const FirewallFinding& finding) {
    const std::unique_ptr<QMessageBox> box = FirewallConsentBox(parent, finding);
    box->exec();
    return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
}
