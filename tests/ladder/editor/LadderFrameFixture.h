#pragma once
// The frame started as main() starts it, with the instruction list and the
// ladder hooked in, a new project, and the program's ladder window open (a
// suite of another editor hooks its own in and opens its window instead).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSize>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestInstallDir.h"

class LadderFrameTest : public ::testing::Test {
protected:
    using Lines = std::vector<std::string>;

    void SetUp() override {
        home_ = qel::test::MakeTestInstallDir("qel-lad-", {"QEL.Txt", "DeviceCommentInit.txt"});
        ASSERT_FALSE(home_.empty());
        TStartupOptions options;
        options.ShowSplash = false;
        RegisterInstListForms();
        frame_.reset(StartQel({}, options));
        ASSERT_TRUE(frame_);
        InstallInstList(frame_.get());
        InstallLadder(frame_.get());
        InstallMore();
        frame_->showNormal();  // the frame opens maximised; these tests want it larger than the offscreen screen
        frame_->resize(FrameSize());
        frame_->NewClick();
        gQel.InsertMode = 1;
        OpenEditor();
        QCoreApplication::processEvents();
    }
    virtual void InstallMore() {}
    virtual QSize FrameSize() const { return {1400, 900}; }
    virtual void OpenEditor() {
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        ASSERT_NE(lad_, nullptr);
    }
    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (frame_) {
            gQel.Modified = 0;
            frame_->DestroyEditors();
            frame_->close();
            frame_.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    /// The program's instruction lines, END included.
    static Lines Program() {
        Lines lines;
        for (std::uint32_t off = 0; off < gProgramUsed;) {
            lines.push_back(DisassembleText(gProgram, gProgramCapacity, off));
            const std::uint32_t next = NextInstructionOffset(off, gProgram, gProgramCapacity);
            if (next <= off) break;
            off = next;
        }
        return lines;
    }
    /// Whether a shown message starts with the text of message `id`.
    bool Shown(int id) const {
        const std::string text = gMsgTable.Get(id);
        for (const std::string& s : messages_.Shown())
            if (s.rfind(text, 0) == 0) return true;
        return false;
    }

    std::filesystem::path home_;
    qel::test::ScriptedMessages messages_;
    std::unique_ptr<TQelMain> frame_;
    TLDB* lad_ = nullptr;
};
