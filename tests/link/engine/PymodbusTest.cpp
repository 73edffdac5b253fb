// An independent check of the wire format: the link talks to a Modbus ASCII
// slave written with pymodbus. The pymodbus peer runs at 8N1: a
// pseudo-terminal carries bytes whatever the line settings ask for.
#include <QProcess>

#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using qel::link::gCommData;
using qel::link::gCommDataLen;
using qel::link::TTransData;

namespace {

const char* kPython = "/usr/bin/python3";

QString Script(const char* name) { return QString(QEL_LINK_TEST_DIR "/") + name; }

bool PymodbusAvailable() {
    QProcess p;
    p.start(kPython, {"-c", "import pymodbus.client, serial_asyncio"});
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Peer {
    QProcess proc;
    std::string out;
    void Start(const char* script, const std::string& device) {
        QObject::connect(&proc, &QProcess::readyReadStandardOutput,
                         [this] { out += proc.readAllStandardOutput().toStdString(); });
        proc.start(kPython, {Script(script), QString::fromStdString(device)});
    }
    ~Peer() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
};

}  // namespace

TEST(Pymodbus, LinkTalksToAPymodbusSlave) {
    EnsureApp();
    if (!PymodbusAvailable()) GTEST_SKIP() << "python3-pymodbus is not installed for " << kPython;
    PtyRelayPair relay;
    ASSERT_TRUE(relay.Start());
    Peer slave;
    slave.Start("modbus_slave.py", relay.PathB());
    ASSERT_TRUE(WaitUntil([&] { return slave.out.find("READY") != std::string::npos; }, 20000))
        << slave.out << slave.proc.readAllStandardError().toStdString();

    RecordingFrame frame;
    auto port = MakePort(relay.PathA());
    TTransData link(port.get(), &frame);
    link.SetTickMs(20);  // 180 ticks: 3.6 s, room for a slow interpreter

    SequenceJob job({
        [](TTransData& l) { l.SendCommand(0x1000, 2, 3); },
        [](TTransData& l) { l.SendCommand(0x1002, 0xABCD, 6); },
        [](TTransData& l) {
            gCommData[0] = 0x00; gCommData[1] = 0x01; gCommData[2] = 0x00; gCommData[3] = 0x02;
            gCommDataLen = 4;
            l.SendCommand(0x1003, 2, 16);
        },
        [](TTransData& l) { l.SendCommand(0x1002, 3, 3); },
        [](TTransData& l) { l.SendCommand(0x0500, 1, 1); },
        [](TTransData& l) { l.SendCommand(0x0501, 0xFF00, 5); },
        [](TTransData& l) { l.SendCommand(0x0500, 3, 1); },
    });
    link.RegisterJob(4, &job);
    ASSERT_TRUE(link.OpenPort());
    link.StartJob(4, 1);
    ASSERT_TRUE(WaitUntil([&] { return link.JobNo == 0 && link.MaySend; }, 20000));

    EXPECT_TRUE(frame.msgs.empty()) << slave.proc.readAllStandardError().toStdString();
    ASSERT_EQ(job.replies.size(), job.steps.size()) << "sent " << link.Stats.framesSent << " bad " << link.Stats.badReplies
                                                    << " timeouts " << link.Stats.timeouts;
    const auto& R = job.replies;
    EXPECT_EQ(R[0], (std::vector<std::uint8_t>{3, 4, 0x12, 0x34, 0x56, 0x78, R[0].back()}));
    EXPECT_EQ(R[3], (std::vector<std::uint8_t>{3, 6, 0xAB, 0xCD, 0, 1, 0, 2, R[3].back()}));
    EXPECT_EQ(R[4][1], 1);
    EXPECT_EQ(R[4][2], 0x01);
    EXPECT_EQ(R[6][2], 0x03);  // Y0 and the Y1 just switched on
    EXPECT_EQ(link.Stats.resends, 0u);
}
