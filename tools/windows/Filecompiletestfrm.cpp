#include "tools/windows/Filecompiletestfrm.h"

#include <utility>

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/Codetranslate.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"

TFileCompileTest* _FileCompileTest = nullptr;

TFileCompileTest::~TFileCompileTest() {
    if (_FileCompileTest == this) _FileCompileTest = nullptr;
}

namespace {
const char* const kRunEnded = "測試結束!!";

// While a file is loaded for the run, the reader's refusals and questions
// (a damaged part of the file set) get no box: the file's line tells the
// result, and a question is answered No, which refuses the file. What the
// reader said is kept in `said`: for the file the run leaves open, the user
// hears it once the run has ended.
class TQuietLoad final : public qel::MessageService {
public:
    explicit TQuietLoad(std::vector<TFileCompileTest::TNote>& said) : said_(said), previous_(qel::SetMessageService(this)) {}
    ~TQuietLoad() override { qel::SetMessageService(previous_); }
    TQuietLoad(const TQuietLoad&) = delete;
    TQuietLoad& operator=(const TQuietLoad&) = delete;
    void Show(const std::string& text, qel::MsgKind kind) override { said_.push_back({text, kind}); }
    qel::Answer Ask(const std::string&, qel::AskButtons) override { return qel::Answer::No; }

private:
    std::vector<TFileCompileTest::TNote>& said_;
    qel::MessageService* previous_;
};
}  // namespace

TResultLamp::TResultLamp(QWidget* parent) : QWidget(parent) { setFixedSize(24, 24); }

QColor TResultLamp::ColorOf(TBatchLamp lamp) {
    switch (lamp) {
    case TBatchLamp::Red: return QColor(255, 0, 0);
    case TBatchLamp::Lime: return QColor(0, 255, 0);
    case TBatchLamp::Black: return QColor(0, 0, 0);
    case TBatchLamp::White: break;
    }
    return QColor(255, 255, 255);
}

void TResultLamp::SetLamp(TBatchLamp lamp) {
    lamp_ = lamp;
    update();
}

void TResultLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(ColorOf(lamp_));
    p.drawEllipse(rect().adjusted(1, 1, -2, -2));
}

TFileCompileTest::TFileCompileTest(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("FileCompileTest");
    setWindowTitle(QStringLiteral("档案编译测试"));
    Shape = new TResultLamp(this);
    Shape->setObjectName("Shape");
    Test_Lab = new QLabel(QStringLiteral("測試中......."), this);
    Test_Lab->setObjectName("Test_Lab");
    Test_Lab->hide();
    ExtBtn = new QPushButton(QStringLiteral("執行"), this);
    ExtBtn->setObjectName("ExtBtn");
    ResultSaveBtn = new QPushButton(QStringLiteral("測試結果儲存"), this);
    ResultSaveBtn->setObjectName("ResultSaveBtn");
    StopBtn = new QPushButton(QStringLiteral("停止/中斷"), this);
    StopBtn->setObjectName("StopBtn");
    PassCheck = new QCheckBox(QStringLiteral("文法檢查"), this);
    PassCheck->setObjectName("PassCheck");
    Label1 = new QLabel(QStringLiteral("档件名称"), this);
    Label2 = new QLabel(QStringLiteral("路徑"), this);
    Label3 = new QLabel(QStringLiteral("測試結果"), this);
    Label4 = new QLabel(QStringLiteral("錯誤指令"), this);
    ErrorCmdLab = new QLabel(this);
    ErrorCmdLab->setObjectName("ErrorCmdLab");
    dirModel_ = new QFileSystemModel(this);
    dirModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    dirModel_->setRootPath(QDir::rootPath());
    DirBox = new QTreeView(this);
    DirBox->setObjectName("DirBox");
    DirBox->setModel(dirModel_);
    for (int c = 1; c < dirModel_->columnCount(); ++c) DirBox->hideColumn(c);
    DirBox->header()->hide();
    FileListBox = new QListWidget(this);
    FileListBox->setObjectName("FileListBox");
    ResultMemo = new QPlainTextEdit(this);
    ResultMemo->setObjectName("ResultMemo");
    ResultMemo->setReadOnly(true);
    ResultMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ClearTest = new QPushButton(QStringLiteral("清除測試結果"), this);
    ClearTest->setObjectName("ClearTest");
    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setInterval(1);
    Timer->setSingleShot(true);

    auto* fun = new QHBoxLayout;
    fun->addWidget(Shape);
    fun->addWidget(Test_Lab);
    fun->addStretch(1);
    fun->addWidget(ExtBtn);
    fun->addWidget(ResultSaveBtn);
    fun->addWidget(StopBtn);
    fun->addWidget(PassCheck);
    auto* grid = new QGridLayout;
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(DirBox, 1, 0);
    grid->addWidget(FileListBox, 1, 1);
    auto* results = new QHBoxLayout;
    results->addWidget(Label3);
    results->addStretch(1);
    results->addWidget(ClearTest);
    auto* error = new QHBoxLayout;
    error->addWidget(Label4);
    error->addWidget(ErrorCmdLab, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fun);
    layout->addLayout(grid, 1);
    layout->addLayout(results);
    layout->addWidget(ResultMemo, 1);
    layout->addLayout(error);
    resize(640, 560);

    connect(ExtBtn, &QPushButton::clicked, this, &TFileCompileTest::ExtBtnClick);
    connect(StopBtn, &QPushButton::clicked, this, &TFileCompileTest::StopBtnClick);
    connect(ResultSaveBtn, &QPushButton::clicked, this, &TFileCompileTest::ResultSaveBtnClick);
    connect(ClearTest, &QPushButton::clicked, this, &TFileCompileTest::ClearTestClick);
    connect(Timer, &QTimer::timeout, this, &TFileCompileTest::TimerTimer);
    connect(DirBox->selectionModel(), &QItemSelectionModel::currentChanged, this, &TFileCompileTest::DirBoxChange);
    connect(FileListBox, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (OpenResultFile && !running_) OpenResultFile(QDir(folder_).filePath(item->text()).toStdString());
    });
    SetFolder(QDir::currentPath());
}

bool TFileCompileTest::Running() const { return running_; }

void TFileCompileTest::SetFolder(const QString& folder) {
    folder_ = folder;
    const QModelIndex index = dirModel_->index(folder);
    if (index.isValid()) {
        QSignalBlocker block(DirBox->selectionModel());
        DirBox->setCurrentIndex(index);
        DirBox->scrollTo(index);
    }
    FileListBox->clear();
    for (const std::string& name : ListProgramFiles(folder.toStdString()))
        FileListBox->addItem(QString::fromStdString(name));
}

void TFileCompileTest::DirBoxChange() {
    const QModelIndex index = DirBox->currentIndex();
    if (index.isValid()) SetFolder(dirModel_->filePath(index));
}

void TFileCompileTest::ExtBtnClick() {
    if (running_) return;
    // The run replaces the project file by file: the user decides first what
    // becomes of the open one, as for Open. A folder without program files
    // opens none: the project and its windows stay as they are.
    if (FileListBox->count() > 0) {
        if (BeforeRun && !BeforeRun()) return;
        projectTaken_ = true;
    }
    Test_Lab->show();
    openedNotes_.clear();
    CurrentFileIndex = FileListBox->currentRow() >= 0 ? FileListBox->currentRow() : 0;
    running_ = true;
    ExtBtn->setEnabled(false);
    // The run goes through the list it started with.
    DirBox->setEnabled(false);
    FileListBox->setEnabled(false);
    Timer->start();
}

void TFileCompileTest::StopBtnClick() { CurrentFileIndex = FileListBox->count(); }

void TFileCompileTest::TimerTimer() {
    Timer->stop();
    if (CurrentFileIndex >= FileListBox->count()) {
        EndRun(true);
        return;
    }
    const QString name = FileListBox->item(CurrentFileIndex)->text();
    const std::string path = folder_.isEmpty() ? name.toStdString() : QDir(folder_).filePath(name).toStdString();
    ResultMemo->appendPlainText(name);
    Shape->SetLamp(TBatchLamp::White);
    ErrorCmdLab->clear();
    TBatchHooks hooks;
    hooks.load = [this](const std::string& file) {
        std::vector<TNote> said;
        bool opened = false;
        {
            const TQuietLoad quiet(said);
            opened = LoadProject && LoadProject(file);
        }
        // A refused file leaves the project as it was, and what its
        // opening said with it.
        if (opened) openedNotes_ = std::move(said);
        return opened;
    };
    hooks.compile = [this] {
        const bool ok = CompileProjectLadder();
        if (!ok && gCompileResult == 1) ErrorCmdLab->setText(QString::fromUtf8(gInputText));
        return ok;
    };
    hooks.check = CheckProjectSyntax;
    const TBatchOutcome outcome = TestProgramFile(path, PassCheck->isChecked(), hooks);
    // The result goes on the file's own line, the last one of the memo.
    QTextCursor cursor(ResultMemo->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QString::fromStdString(outcome.suffix));
    Shape->SetLamp(outcome.lamp);
    ++CurrentFileIndex;
    Timer->start();
}

void TFileCompileTest::EndRun(bool announce) {
    Timer->stop();
    running_ = false;
    ExtBtn->setEnabled(true);
    DirBox->setEnabled(true);
    FileListBox->setEnabled(true);
    Test_Lab->hide();
    Shape->SetLamp(TBatchLamp::White);
    if (std::exchange(projectTaken_, false) && AfterRun) AfterRun();
    // The file left open is now the user's project: what its opening said
    // (parts of its set not read, not used) is said now, as File > Open says it.
    for (const TNote& note : std::exchange(openedNotes_, {})) qel::ShowMessage(note.text, note.kind);
    if (announce) qel::ShowMessage(kRunEnded);
}

void TFileCompileTest::EndRunQuietly() {
    if (running_) EndRun(false);
}

void TFileCompileTest::ResultSaveBtnClick() {
    const std::string path = AskResultFileName ? AskResultFileName() : std::string();
    if (path.empty()) return;
    std::vector<std::string> lines;
    if (!ResultMemo->document()->isEmpty())
        for (const QString& line : ResultMemo->toPlainText().split(QLatin1Char('\n'))) lines.push_back(line.toStdString());
    if (!SaveResultLines(path, lines)) ShowMsg(kMsgFileSaveFailed, path);
}

void TFileCompileTest::ClearTestClick() { ResultMemo->clear(); }
