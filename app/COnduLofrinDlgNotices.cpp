#include "app/COnduLofrinDlgNotices.h"

#include "app/COnduLofrinDlg.h"
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
