// When a run asked for by a card may start: only from the window's own event loop.

#include "run_gate.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace oakvane {
namespace {

class RunGateTest : public ::testing::Test {
protected:
    RunGateTest()
    {
        static int argc = 1;
        static char name[] = "runs_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
        QObject::connect(&gate, &RunGate::startRun, [this] { ++runs; });
    }
    // Whatever the event loop has queued, as the window's loop would serve it.
    void serve() { QCoreApplication::processEvents(); }

    RunGate gate;
    int runs = 0;
};

TEST_F(RunGateTest, RequestWhileIdleStartsOneRunFromTheEventLoop)
{
    gate.request();
    EXPECT_EQ(runs, 0);
    serve();
    EXPECT_EQ(runs, 1);
    serve();
    EXPECT_EQ(runs, 1);
}

TEST_F(RunGateTest, RequestsInsideNestedWaitsGiveOneRunAfterTheLastWait)
{
    {
        RunGate::Wait update_check(gate);
        gate.request();
        {
            RunGate::Wait message_box(gate);
            gate.request();
            serve();
        }
        serve();
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 0);
    serve();
    EXPECT_EQ(runs, 1);
}

// A wait that begins between the end of the last one and the queued call keeps holding it.
TEST_F(RunGateTest, WaitBegunBeforeTheQueuedCallKeepsTheRequestHeld)
{
    gate.request();
    {
        RunGate::Wait dialog(gate);
        serve();
        EXPECT_EQ(runs, 0);
    }
    serve();
    EXPECT_EQ(runs, 1);
}

TEST_F(RunGateTest, RequestWhileRunningIsDropped)
{
    gate.set_running(true);
    gate.request();
    serve();
    gate.set_running(false);
    serve();
    EXPECT_EQ(runs, 0);

    // Held in a wait, then a run begins before the wait ends: the card is that run's.
    {
        RunGate::Wait eject(gate);
        gate.request();
        gate.set_running(true);
    }
    serve();
    gate.set_running(false);
    serve();
    EXPECT_EQ(runs, 0);

    gate.request();
    serve();
    EXPECT_EQ(runs, 1);
}

// A held run is looked at again when it is delivered, for the card that asked last.
TEST_F(RunGateTest, HeldRequestStartsOnlyWhenStillWantedForItsCard)
{
    std::vector<std::string> asked;
    bool wanted = false;
    gate.set_still_wanted([&](const std::string& card) {
        asked.push_back(card);
        return wanted;
    });
    {
        RunGate::Wait preferences(gate);
        gate.request("/media/a/DCIM");
        gate.request("/media/b/DCIM");
    }
    serve();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(asked, std::vector<std::string>{"/media/b/DCIM"});

    wanted = true;
    gate.request("/media/b/DCIM");
    serve();
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace oakvane
