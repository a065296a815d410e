<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>COnduLofrinDlg</name>
    <message>
        <source>Lofrin最多添加32个视频！</source>
        <translation>Lofrin can share at most 32 videos!</translation>
    </message>
    <message>
        <source>OnduLofrin %1版</source>
        <translation>OnduLofrin %1</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>请在右侧列表中选上需要Lofrin的视频文件vrm、vrw、mp4、mov、mkv、ts等视频文件！</source>
        <translation>Please put the video files to share (vrm, vrw, mp4, mov, mkv, ts and others) in the list on the right first!</translation>
    </message>
    <message>
        <source>正在读取视频 %1/%2</source>
        <translation>Reading videos %1/%2</translation>
    </message>
    <message>
        <source>Lofrin服务未能开启：端口%1无法监听（%2）</source>
        <translation>The Lofrin service could not start: nothing can listen on port %1 (%2)</translation>
    </message>
    <message>
        <source>尚无VR一体机连接</source>
        <translation>No headset connected</translation>
    </message>
    <message numerus="yes">
        <source>%n台VR一体机</source>
        <translation>
            <numerusform>%n headset</numerusform>
            <numerusform>%n headsets</numerusform>
        </translation>
    </message>
    <message>
        <source>正在播放 %1</source>
        <translation>playing %1</translation>
    </message>
    <message>
        <source>开启Lofrin服务</source>
        <translation>Start Lofrin Service</translation>
    </message>
    <message>
        <source>添加视频文件</source>
        <translation>Add Video Files</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>停止Lofrin服务</source>
        <translation>Stop Lofrin Service</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在读取视频</source>
        <translation>Reading videos</translation>
    </message>
    <message>
        <source>正在停止Lofrin服务</source>
        <translation>Stopping Lofrin Service</translation>
    </message>
    <message>
        <source>正在监听 %1</source>
        <translation>Listening on %1</translation>
    </message>
    <message>
        <source>未能共享：%1</source>
        <translation>Not shared: %1</translation>
    </message>
    <message>
        <source>找不到此文件</source>
        <translation>This file cannot be found</translation>
    </message>
    <message>
        <source>选择视频源共享给VR一体机内的“Ondu视频”APP！</source>
        <translation>Choose videos for the Ondu Video app on your VR headset!</translation>
    </message>
    <message>
        <source>*.vrm,*.vrw,*mp4,*mov,*.mkv,*.ts等</source>
        <translation>*.vrm, *.vrw, *.mp4, *.mov, *.mkv, *.ts and others</translation>
    </message>
    <message>
        <source>让VR一体机通过</source>
        <translation>Let headsets through</translation>
    </message>
    <message>
        <source>暂不</source>
        <translation>Not now</translation>
    </message>
    <message>
        <source>防火墙（%1）已开启，可能挡住VR一体机：它们能看到这台电脑，却可能连不上端口%2。
要让VR一体机通过防火墙吗？</source>
        <translation>The firewall (%1) is on and may keep VR headsets out: they can see this PC but may not be able to connect to port %2.
Let the headsets through the firewall?</translation>
    </message>
    <message>
        <source>防火墙（%1）挡住了VR一体机：它们能看到这台电脑，却连不上端口%2。
要让VR一体机通过防火墙吗？</source>
        <translation>The firewall (%1) keeps VR headsets out: they can see this PC but cannot connect to port %2.
Let the headsets through the firewall?</translation>
    </message>
    <message>
        <source>防火墙（%1）现在让VR一体机通过端口%2。</source>
        <translation>The firewall (%1) now lets VR headsets through to port %2.</translation>
    </message>
    <message>
        <source>防火墙未更改。要让VR一体机通过，请在终端中运行：
%1</source>
        <translation>The firewall was not changed. To let VR headsets through, run in a terminal:
%1</translation>
    </message>
</context>
<context>
    <name>VideoFileDialog</name>
    <message>
        <source>OnduLofrin支持的所有格式(*.vrm;*.vrw;*.mp4;*.mov;*.mkv;*.ts等)</source>
        <translation>All formats OnduLofrin supports (*.vrm;*.vrw;*.mp4;*.mov;*.mkv;*.ts and others)</translation>
    </message>
    <message>
        <source>Ondu助手提供的大片资源(*.vrm;*.vrw)</source>
        <translation>Films from the Ondu assistant (*.vrm;*.vrw)</translation>
    </message>
    <message>
        <source>普通视频格式(*.mp4;*.mov;*.mkv;*.ts等)</source>
        <translation>Ordinary video formats (*.mp4;*.mov;*.mkv;*.ts and others)</translation>
    </message>
</context>
</TS>
