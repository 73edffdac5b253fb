// The frame's menus, tool bars, tool panels and status bar, built from tables.
// Every item carries the name of the command it runs (its own name, or the
// menu item it doubles for); the router decides whether anyone handles it.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

#include "shell/Qelmain.h"

namespace {

enum : unsigned { kCheckable = 1, kSeparatorBefore = 2 };

}  // namespace

struct TQelMain::ActionDef {
    const char* name;
    const char* caption;
    const char* command;  // nullptr: the item's own name
    const char* shortcut;
    QAction* TQelMain::*member;
    unsigned flags;
    QStyle::StandardPixmap icon = QStyle::SP_CustomBase;  // SP_CustomBase: text only
};

namespace {

using M = TQelMain;  // shorter table lines below

}  // namespace

// ---------------------------------------------------------------------------
// Menus

void TQelMain::BuildMenus() {
    static const ActionDef kFile[] = {
        {"MmNew", "新建(&N)", nullptr, "Ctrl+N", &M::MmNew, 0},
        {"MmOpen", "打开(&O)...", nullptr, "Ctrl+O", &M::MmOpen, 0},
        {"MmSave", "保存(&S)", nullptr, "Ctrl+S", &M::MmSave, 0},
        {"MmSaveAs", "另存为(&A)...", nullptr, nullptr, &M::MmSaveAs, 0},
        {"MmTitle", "标题页(&T)...", nullptr, nullptr, &M::MmTitle, kSeparatorBefore},
        {"MmPrn", "打印(&P)...", nullptr, "Ctrl+P", &M::MmPrn, 0},
    };
    static const ActionDef kEdit[] = {
        {"MmUndo", "撤销(&U)", nullptr, "Ctrl+Z", &M::MmUndo, 0},
        {"MmRedo", "重做(&R)", nullptr, "Ctrl+Y", &M::MmRedo, 0},
        {"MmCut", "剪切(&T)", nullptr, "Ctrl+X", &M::MmCut, kSeparatorBefore},
        {"MmCopy", "复制(&C)", nullptr, "Ctrl+C", &M::MmCopy, 0},
        {"MmPaste", "粘贴(&P)", nullptr, "Ctrl+V", &M::MmPaste, 0},
        {"MmDel", "删除(&D)", nullptr, nullptr, &M::MmDel, 0},
        {"MmSelAll", "全选(&A)", nullptr, "Ctrl+A", &M::MmSelAll, 0},
        {"MmInsLine", "插入行", nullptr, nullptr, &M::MmInsLine, kSeparatorBefore},
        {"MmDelLine", "删除行", nullptr, nullptr, &M::MmDelLine, 0},
        {"MmInsBk", "插入区块", nullptr, nullptr, &M::MmInsBk, 0},
        {"MmDelTk", "删除元件", nullptr, nullptr, &M::MmDelTk, 0},
        {"MmDelVline", "删除竖线", nullptr, nullptr, &M::MmDelVline, 0},
        {"MmInsSp", "插入空格", nullptr, nullptr, &M::MmInsSp, 0},
        {"MmBackSp", "退格", nullptr, nullptr, &M::MmBackSp, 0},
    };
    static const ActionDef kView[] = {
        {"MmInstWin", "指令表(&I)", nullptr, nullptr, &M::MmInstWin, 0},
        {"MmLadWin", "梯形图(&L)", nullptr, nullptr, &M::MmLadWin, 0},
        {"MmSfcWin", "SFC 图(&S)", nullptr, nullptr, &M::MmSfcWin, 0},
        {"MmViewReg", "寄存器检视(&R)", nullptr, nullptr, &M::MmViewReg, 0},
        {"MmFileTmp", "文件寄存器模板(&F)", nullptr, nullptr, &M::MmFileTmp, 0},
    };
    static const ActionDef kViewZoom[] = {
        {"MmZoomIn", "放大", nullptr, "Ctrl++", &M::MmZoomIn, 0},
        {"MmZoomOut", "缩小", nullptr, "Ctrl+-", &M::MmZoomOut, 0},
        {"MmMatchSize", "适合屏幕", nullptr, nullptr, &M::MmMatchSize, kCheckable},
        {"MmLadTool", "梯形图工具", nullptr, nullptr, &M::MmLadTool, kCheckable | kSeparatorBefore},
        {"MmSfcTool", "SFC 工具", nullptr, nullptr, &M::MmSfcTool, kCheckable},
        {"Dig10", "十进制 (K)", nullptr, nullptr, &M::Dig10, kCheckable | kSeparatorBefore},
        {"Dig16", "十六进制 (H)", nullptr, nullptr, &M::Dig16, kCheckable},
        {"DigASCI", "ASCII", nullptr, nullptr, &M::DigASCI, kCheckable},
    };
    static const ActionDef kCompile[] = {
        {"MmLadToCode", "梯形图 → 指令表(&C)", nullptr, "F4", &M::MmLadToCode, 0},
        {"MmCodeToLad", "指令表 → 梯形图(&L)", nullptr, nullptr, &M::MmCodeToLad, 0},
        {"MmCodeToSfc", "指令表 → SFC", nullptr, nullptr, &M::MmCodeToSfc, kSeparatorBefore},
        {"MmSfcToCode", "SFC → 指令表", nullptr, nullptr, &M::MmSfcToCode, 0},
    };
    static const ActionDef kComment[] = {
        {"MmCmtWin", "元件注释(&D)", nullptr, nullptr, &M::MmCmtWin, 0},
        {"MmLineCmtWin", "行注释(&R)", nullptr, nullptr, &M::MmLineCmtWin, 0},
        {"MmCmtType", "显示注释(&S)", nullptr, nullptr, &M::MmCmtType, kCheckable | kSeparatorBefore},
    };
    static const ActionDef kSearch[] = {
        {"MmRep", "查找/替换(&F)...", nullptr, "Ctrl+F", &M::MmRep, 0},
        {"MmFindCmd", "查找指令(&I)...", nullptr, nullptr, &M::MmFindCmd, 0},
        {"MmJump", "跳至步号(&J)...", nullptr, "Ctrl+G", &M::MmJump, 0},
        {"MmDevUsedWin", "元件使用表(&U)", nullptr, nullptr, &M::MmDevUsedWin, kSeparatorBefore},
        {"MmLoopChk", "双线圈检查(&C)", nullptr, nullptr, &M::MmLoopChk, 0},
        {"MmFileCompileTest", "批量编译测试(&B)...", nullptr, nullptr, &M::MmFileCompileTest, 0},
    };
    static const ActionDef kComm[] = {
        {"MmTrans", "程序传输(&T)...", nullptr, nullptr, &M::MmTrans, 0},
        {"MmCodeVerify", "程序校验(&V)", nullptr, nullptr, &M::MmCodeVerify, 0},
        {"MmRun", "RUN", nullptr, nullptr, &M::MmRun, kSeparatorBefore},
        {"MmStop", "STOP", nullptr, nullptr, &M::MmStop, 0},
        {"MmMonitorLad", "梯形图监控(&L)", nullptr, nullptr, &M::MmMonitorLad, kCheckable | kSeparatorBefore},
        {"MmMonitorSfc", "SFC 监控(&S)", nullptr, nullptr, &M::MmMonitorSfc, kCheckable},
        {"MmMonitorDev", "元件监控(&D)", nullptr, nullptr, &M::MmMonitorDev, 0},
        {"MmSetVal", "设定当前值...", nullptr, nullptr, &M::MmSetVal, 0},
        {"MmForceDev", "强制 ON/OFF...", nullptr, nullptr, &M::MmForceDev, 0},
        {"MmPassWd", "PLC 密码(&P)...", nullptr, nullptr, &M::MmPassWd, kSeparatorBefore},
        {"MmFileTmpTransfer", "文件寄存器传输...", nullptr, nullptr, &M::MmFileTmpTransfer, 0},
        {"MmCardCodeRw", "记忆卡程序读写...", nullptr, nullptr, &M::MmCardCodeRw, kSeparatorBefore},
        {"MmPlcToCard", "PLC → 记忆卡...", nullptr, nullptr, &M::MmPlcToCard, 0},
        {"MmCardCmtRw", "记忆卡注释读写...", nullptr, nullptr, &M::MmCardCmtRw, 0},
        {"MmUserInst", "用户指令...", nullptr, nullptr, &M::MmUserInst, 0},
        {"MmSimulate", "模拟运行(&M)", nullptr, nullptr, &M::MmSimulate, kSeparatorBefore},
    };
    static const ActionDef kOption[] = {
        {"MmMachineSet", "机型设置(&M)...", nullptr, nullptr, &M::MmMachineSet, 0},
        {"MmComPort", "通讯口设置(&C)...", nullptr, nullptr, &M::MmComPort, 0},
        {"MmBaudRateTest", "通讯速率搜寻(&B)", nullptr, nullptr, &M::MmBaudRateTest, 0},
        {"MmRunUpdate", "变更通讯速率(&R)", nullptr, nullptr, &M::MmRunUpdate, 0},
    };
    static const ActionDef kWindow[] = {
        {"MmCascade", "层叠(&C)", nullptr, nullptr, &M::MmCascade, 0},
        {"MmTile", "平铺(&T)", nullptr, nullptr, &M::MmTile, 0},
    };
    static const ActionDef kHelp[] = {
        {"MmHelp", "帮助(&H)", nullptr, "F1", &M::MmHelp, 0},
        {"MmAbout", "关于(&A)...", nullptr, nullptr, &M::MmAbout, 0},
    };

    auto fill = [this](QMenu* menu, const auto& defs) {
        for (const ActionDef& def : defs) {
            if (def.flags & kSeparatorBefore) menu->addSeparator();
            menu->addAction(MakeAction(def, menu));
        }
    };
    auto add = [this](const char* name, const char* caption) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(caption));
        menu->setObjectName(name);
        return menu;
    };

    FileMenu = add("FileMenu", "文件(&F)");
    fill(FileMenu, kFile);
    FileMenu->addSeparator();
    RecentMenu = FileMenu->addMenu(QStringLiteral("最近的文件(&R)"));
    RecentMenu->setObjectName("RecentMenu");
    FileMenu->addSeparator();
    MmExit = MakeAction({"MmExit", "退出(&X)", nullptr, "Ctrl+Q", &M::MmExit, 0}, FileMenu);
    FileMenu->addAction(MmExit);

    EditMenu = add("EditMenu", "编辑(&E)");
    fill(EditMenu, kEdit);

    ViewMenu = add("ViewMenu", "检视(&V)");
    fill(ViewMenu, kView);
    ViewMenu->addSeparator();
    MmWinSize = ViewMenu->addMenu(QStringLiteral("显示比例(&Z)"));
    MmWinSize->setObjectName("MmWinSize");
    static const char* const kSizeNames[7] = {"Size50", "Size75", "Size100", "Size125", "Size150", "Size175", "Size200"};
    static const char* const kSizeCaptions[7] = {"50%", "75%", "100%", "125%", "150%", "175%", "200%"};
    QAction* TQelMain::*const kSizeMembers[7] = {&M::Size50, &M::Size75, &M::Size100, &M::Size125,
                                                 &M::Size150, &M::Size175, &M::Size200};
    sizeGroup_ = new QActionGroup(this);
    for (int i = 0; i < 7; ++i) {
        QAction* a = MakeAction({kSizeNames[i], kSizeCaptions[i], nullptr, nullptr, kSizeMembers[i], kCheckable},
                                MmWinSize);
        a->setData(i);  // the item's tag: its zoom index
        sizeGroup_->addAction(a);
        MmWinSize->addAction(a);
        SizeItems[static_cast<size_t>(i)] = a;
    }
    fill(ViewMenu, kViewZoom);
    digGroup_ = new QActionGroup(this);
    for (QAction* a : {Dig10, Dig16, DigASCI}) digGroup_->addAction(a);
    Dig10->setChecked(true);

    CompileMenu = add("CompileMenu", "转换(&C)");
    fill(CompileMenu, kCompile);
    CommentMenu = add("CommentMenu", "注释(&M)");
    fill(CommentMenu, kComment);
    SearchMenu = add("SearchMenu", "查找(&S)");
    fill(SearchMenu, kSearch);
    CommMenu = add("CommMenu", "PLC(&P)");
    fill(CommMenu, kComm);
    OptionMenu = add("OptionMenu", "选项(&O)");
    fill(OptionMenu, kOption);
    WindowMenu = add("WindowMenu", "窗口(&W)");
    fill(WindowMenu, kWindow);
    HelpMenu = add("HelpMenu", "帮助(&H)");
    fill(HelpMenu, kHelp);

    editCommands_ = {MmUndo, MmRedo, MmCut, MmCopy, MmPaste, MmDel};
}

QAction* TQelMain::MakeAction(const ActionDef& def, QWidget* owner) {
    auto* a = new QAction(QString::fromUtf8(def.caption), owner);
    a->setObjectName(def.name);
    if (def.shortcut) {
        a->setShortcut(QKeySequence(QString::fromLatin1(def.shortcut)));
        shortcutOf_[a] = a->shortcut();
    }
    if (def.flags & kCheckable) a->setCheckable(true);
    if (def.icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(def.icon));
    const std::string command = def.command ? def.command : def.name;
    actions_[def.name] = a;
    commandOf_[a] = command;
    if (def.member) this->*(def.member) = a;
    connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
    a->setEnabled(false);  // until RefreshCommands finds a handler
    return a;
}

// ---------------------------------------------------------------------------
// Tool bars and tool panels

void TQelMain::BuildToolBars() {
    using SP = QStyle::StandardPixmap;
    static const ActionDef kQuick[] = {
        {"BnNew", "新建", "MmNew", nullptr, &M::BnNew, 0, SP::SP_FileIcon},
        {"BnOpen", "打开", "MmOpen", nullptr, &M::BnOpen, 0, SP::SP_DialogOpenButton},
        {"BnSave", "保存", "MmSave", nullptr, &M::BnSave, 0, SP::SP_DialogSaveButton},
        {"BnPrn", "打印", "MmPrn", nullptr, &M::BnPrn, 0},
        {"BnUndo", "撤销", "MmUndo", nullptr, &M::BnUndo, kSeparatorBefore, SP::SP_ArrowBack},
        {"BnRedo", "重做", "MmRedo", nullptr, &M::BnRedo, 0, SP::SP_ArrowForward},
        {"BnCut", "剪切", "MmCut", nullptr, &M::BnCut, 0},
        {"BnCopy", "复制", "MmCopy", nullptr, &M::BnCopy, 0},
        {"BnPaste", "粘贴", "MmPaste", nullptr, &M::BnPaste, 0},
        {"BnDel", "删除", "MmDel", nullptr, &M::BnDel, 0, SP::SP_TrashIcon},
        {"BnRep", "查找", "MmRep", nullptr, &M::BnRep, kSeparatorBefore},
    };
    static const ActionDef kCommon[] = {
        {"BnInstWin", "LIST", "MmInstWin", nullptr, &M::BnInstWin, 0},
        {"BnLadWin", "LAD", "MmLadWin", nullptr, &M::BnLadWin, 0},
        {"BnCmtWin", "注释", "MmCmtWin", nullptr, &M::BnCmtWin, 0},
        {"BnCodeToLad", "→LAD", "MmCodeToLad", nullptr, &M::BnCodeToLad, kSeparatorBefore},
        {"BnLadToCode", "→LIST", "MmLadToCode", nullptr, &M::BnLadToCode, 0},
        {"BnCodeToSfc", "→SFC", "MmCodeToSfc", nullptr, &M::BnCodeToSfc, 0},
        {"BnSfcToCode", "SFC→", "MmSfcToCode", nullptr, &M::BnSfcToCode, 0},
        {"BnJump", "跳转", "MmJump", nullptr, &M::BnJump, kSeparatorBefore},
        {"BnZoomIn", "放大", "MmZoomIn", nullptr, &M::BnZoomIn, 0},
        {"BnZoomOut", "缩小", "MmZoomOut", nullptr, &M::BnZoomOut, 0},
        {"BnCmtType", "显示注释", "MmCmtType", nullptr, &M::BnCmtType, kCheckable},
    };
    // The PLC's buttons: transfer, run and stop, monitoring, simulation.
    static const ActionDef kOnline[] = {
        {"BnTrans", "传输", "MmTrans", nullptr, &M::BnTrans, 0},
        {"BnRun", "RUN", "MmRun", nullptr, &M::BnRun, 0},
        {"BnStop", "STOP", "MmStop", nullptr, &M::BnStop, 0},
        {"BnMonitorLad", "监控 LAD", "MmMonitorLad", nullptr, &M::BnMonitorLad, kCheckable},
        {"BnMonitorSfc", "监控 SFC", "MmMonitorSfc", nullptr, &M::BnMonitorSfc, kCheckable},
        {"BnMonitorDev", "元件监控", "MmMonitorDev", nullptr, &M::BnMonitorDev, 0},
        {"BnSimuLad", "模拟 LAD", nullptr, nullptr, &M::BnSimuLad, kSeparatorBefore},
        {"BnSimuSfc", "模拟 SFC", nullptr, nullptr, &M::BnSimuSfc, 0},
    };
    // Ladder elements, in the order of the element buttons.
    static const char* const kLadCaptions[11] = {"┤├", "┤/├", "┤↑├", "┤↓├", "STL", "[ ]", "( )", "─", "│", "/", "[=]"};
    static const char* const kLadTips[11] = {"常开触点", "常闭触点", "上升沿触点", "下降沿触点", "步进触点",
                                             "应用指令", "线圈", "横线", "竖线", "取反", "比较触点"};
    static const char* const kSfcCaptions[9] = {"LAD", "初始步", "步", "跳转", "转移",
                                                "选择分支", "选择汇合", "并行分支", "并行汇合"};
    static const char* const kLineTips[9] = {"并行分支 (右)", "并行线", "并行汇合 (右)", "并行分支/汇合 (左)",
                                             "选择分支 (右)", "选择线", "选择汇合 (右)", "选择分支/汇合 (左)",
                                             "竖线"};

    auto fillBar = [this](QToolBar* bar, const auto& defs, std::vector<QAction*>& group) {
        for (const ActionDef& def : defs) {
            if (def.flags & kSeparatorBefore) bar->addSeparator();
            QAction* a = MakeAction(def, bar);
            bar->addAction(a);
            group.push_back(a);
        }
    };

    QuickBar = addToolBar(QStringLiteral("常用"));
    QuickBar->setObjectName("QuickBar");
    fillBar(QuickBar, kQuick, quickButtons_);

    // At 1024 pixels the quick bar and the tool bar fill the first row; the PLC's
    // buttons and the lamp take the second, the tool panels a row of their own.
    CommonBar = addToolBar(QStringLiteral("工具"));
    CommonBar->setObjectName("CommonBar");
    fillBar(CommonBar, kCommon, commonButtons_);
    addToolBarBreak();
    OnlineBar = addToolBar(QStringLiteral("PLC"));
    OnlineBar->setObjectName("OnlineBar");
    fillBar(OnlineBar, kOnline, commonButtons_);
    OnlineBar->addSeparator();
    MoniLight = new QFrame(OnlineBar);
    MoniLight->setObjectName("MoniLight");
    MoniLight->setFixedSize(18, 18);
    MoniLight->setFrameShape(QFrame::Box);
    MoniLight->setAutoFillBackground(true);
    MoniLight->setToolTip(QStringLiteral("通讯状态"));
    OnlineBar->addWidget(MoniLight);
    SetLamp(TLampState::Off);

    // Ladder tool panel: the element buttons on their own tool bar, on a page
    // like the chart's, so that either tool panel fills the same row.
    LadPanel = new QWidget(this);
    LadPanel->setObjectName("LadPanel");
    auto* ladLayout = new QHBoxLayout(LadPanel);
    ladLayout->setContentsMargins(0, 0, 0, 0);
    auto* ladPages = new QTabWidget(LadPanel);
    ladPages->setObjectName("LadPgCtrl");
    LadToolBar = new QToolBar(ladPages);
    LadToolBar->setObjectName("LadToolBar");
    LadToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ladPages->addTab(LadToolBar, QStringLiteral("梯形图元件"));
    ladLayout->addWidget(ladPages);
    for (int i = 0; i < 11; ++i) {
        const std::string name = "Btn" + std::to_string(i);
        QAction* a = MakeAction({name.c_str(), kLadCaptions[i], nullptr, nullptr, nullptr, 0}, LadToolBar);
        a->setToolTip(QString::fromUtf8(kLadTips[i]));
        LadToolBar->addAction(a);
        Btn[static_cast<size_t>(i)] = a;
        ladderButtons_.push_back(a);
    }

    // SFC tool panel: two pages, the elements and the auxiliary lines.
    SfcPanel = new QWidget(this);
    SfcPanel->setObjectName("SfcPanel");
    auto* sfcLayout = new QHBoxLayout(SfcPanel);
    sfcLayout->setContentsMargins(0, 0, 0, 0);
    SfcPgCtrl = new QTabWidget(SfcPanel);
    SfcPgCtrl->setObjectName("SfcPgCtrl");
    sfcLayout->addWidget(SfcPgCtrl);
    auto makePage = [this](const char* name, const char* caption, const char* prefix,
                           const char* const* texts, const char* const* tips, std::array<QAction*, 9>& out) {
        auto* bar = new QToolBar(SfcPgCtrl);
        bar->setObjectName(name);
        bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        for (int i = 0; i < 9; ++i) {
            const std::string n = prefix + std::to_string(i + 1);
            QAction* a = MakeAction({n.c_str(), texts ? texts[i] : "", nullptr, nullptr, nullptr, 0}, bar);
            if (!texts) a->setText(QString::number(i + 1));
            if (tips) a->setToolTip(QString::fromUtf8(tips[i]));
            bar->addAction(a);
            out[static_cast<size_t>(i)] = a;
        }
        SfcPgCtrl->addTab(bar, QString::fromUtf8(caption));
        return bar;
    };
    SfcPage1 = makePage("SfcPage1", "SFC 基本图形", "sBtn", kSfcCaptions, nullptr, sBtn);
    SfcPage2 = makePage("SfcPage2", "SFC 辅助线段", "ssBtn", nullptr, kLineTips, ssBtn);
}

// ---------------------------------------------------------------------------
// Status bar

TQelStatusBar::TQelStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("QelStaBar");
    // Narrow enough that the frame still fits a screen 1024 pixels wide.
    static const int kWidths[kPanelCount] = {110, 60, 140, 130, 130, 150, 50, 110};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setMinimumWidth(kWidths[i]);
        label->setFrameShape(QFrame::StyledPanel);
        addPermanentWidget(label, i == 2 ? 1 : 0);
        panels_[static_cast<size_t>(i)] = label;
    }
}

void TQelStatusBar::SetPanel(int index, const QString& text) {
    if (index < 0 || index >= kPanelCount) return;
    panels_[static_cast<size_t>(index)]->setText(text);
}

QString TQelStatusBar::Panel(int index) const {
    if (index < 0 || index >= kPanelCount) return {};
    return panels_[static_cast<size_t>(index)]->text();
}

void TQelMain::BuildStatusBar() {
    QelStaBar = new TQelStatusBar(this);
    setStatusBar(QelStaBar);
}
