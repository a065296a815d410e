#include "app/COnduLofrinDlgNotices.h"

#include "app/COnduLofrinDlg.h"
#include "app/OffThread.h"
#include "app/WaitCursor.h"
#include "protocol/ServiceConstants.h"

QString NoticeCaption() {
    return COnduLofrinDlg::tr("提示");
}

QString EmptyListText() {
    return COnduLofrinDlg::tr(
        "请在右侧列表中选上需要Lofrin的视频文件vrm、vrw、mp4、mov、mkv、ts等视频文件！");
}

QString TooManyVideosText() {
    return COnduLofrinDlg::tr("Lofrin最多添加32个视频！");
}

QString NoListenerText(const std::string& reason) {
    return COnduLofrinDlg::tr("Lofrin服务未能开启：端口%1无法监听（%2）")
        .arg(servicePort)
        .arg(QString::fromStdString(reason));
}

QString FirewallQuestionText(const FirewallFinding& finding) {
    const QString name = QString::fromLatin1(FirewallName(finding.firewall));
    if (finding.admission == HeadsetAdmission::MayBeKeptOut) {
        return COnduLofrinDlg::tr(
                   "防火墙（%1）已开启，可能挡住VR一体机：它们能看到这台电脑，却可能连不上端口%2。"
                   "\n要让VR一体机通过防火墙吗？")
            .arg(name)
            .arg(servicePort);
    }
    return COnduLofrinDlg::tr(
               "防火墙（%1）挡住了VR一体机：它们能看到这台电脑，却连不上端口%2。"
               "\n要让VR一体机通过防火墙吗？")
        .arg(name)
        .arg(servicePort);
}

QString FirewallOpenedText(const FirewallFinding& finding) {
    return COnduLofrinDlg::tr("防火墙（%1）现在让VR一体机通过端口%2。")
        .arg(QString::fromLatin1(FirewallName(finding.firewall)))
        .arg(servicePort);
}

QString FirewallUnchangedText(const FirewallFinding& finding) {
    return COnduLofrinDlg::tr("防火墙未更改。要让VR一体机通过，请在终端中运行：\n%1")
        .arg(QString::fromStdString(CommandLettingHeadsetsIn(finding)));
}

// Once per program path, at the first start that serves. A refusal, of the
// user or of polkit, leaves the command to run.
void COnduLofrinDlg::OfferFirewallOpening() {
    if (!m_services.offerFirewall || !m_services.findFirewall)
        return;
    m_services.offerFirewall = false;
    std::optional<FirewallFinding> finding;
    {
        // firewalld's client takes a moment to answer.
        const WaitCursor busy;
        finding = m_services.findFirewall();
    }
    if (!finding)
        return;
    if (!m_services.askFirewallConsent(this, *finding)) {
        m_services.showNotice(this, FirewallUnchangedText(*finding), NoticeCaption());
        return;
    }
    m_firewallOpening = std::make_unique<OffThread>(
        this, [letIn = m_services.letHeadsetsIn, found = *finding] { return letIn(found); },
        [this, found = *finding](bool opened) {
            m_firewallOpening.reset();
            m_services.showNotice(this,
                                  opened ? FirewallOpenedText(found) : FirewallUnchangedText(found),
                                  NoticeCaption());
        });
}
