// The SFC window tests run inside one application object, on the offscreen platform.
// The models' judgements are lent to the project as main() lends them.
#include <gtest/gtest.h>

#include <QApplication>

#include "ladder/model/Laddercompile.h"
#include "sfc/model/Sfcelement.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallLadderCodeCheck();
    InstallSfcChartJudge();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
