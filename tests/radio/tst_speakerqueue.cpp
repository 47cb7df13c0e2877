// The speaker queue against a scripted device: a sound server that plays a millisecond at a time from
// what is queued, fed by a thread that tops the queue up every 5 ms unless it is held back.
#include "SpeakerQueue.h"

#include <QTest>
#include <vector>

namespace {
// How late the feeding thread wakes at a moment of the run; 0 is on time.
struct Stall {
    int fromMs, toMs; // the stretch in which it happens
    int everyMs;      // once per this many ms within it
    int lateMs;       // and it wakes this late
};

class ScriptedServer {
public:
    explicit ScriptedServer(SpeakerQueue& queue) : queue_(queue) {}
    // Runs until `untilMs`; returns the queue size at each whole second.
    std::vector<int> run(int untilMs, const std::vector<Stall>& stalls = {}) {
        std::vector<int> perSecond;
        for (; now_ < untilMs; ++now_) {
            if (now_ >= nextWake_) feed(stalls);
            // Played a millisecond; with nothing queued it has run dry, and waits for a full queue again.
            if (playing_ && queued_ == 0) {
                playing_ = false;
                queue_.ranDry();
            }
            if (playing_) --queued_;
            if (now_ % 1000 == 0) perSecond.push_back(queue_.ms());
        }
        return perSecond;
    }

private:
    void feed(const std::vector<Stall>& stalls) {
        while (queued_ + 5 <= queue_.ms()) {
            queued_ += 5;
            queue_.played(5);
        }
        if (queued_ >= queue_.ms()) playing_ = true;
        nextWake_ = now_ + 5;
        for (const Stall& s : stalls)
            if (now_ >= s.fromMs && now_ < s.toMs && (now_ - s.fromMs) % s.everyMs < 5) nextWake_ += s.lateMs;
    }

    SpeakerQueue& queue_;
    int now_ = 0;
    int nextWake_ = 0;
    int queued_ = 0;
    bool playing_ = false;
};
} // namespace

class SpeakerQueueTest : public QObject {
    Q_OBJECT
private slots:
    // A quiet machine keeps the small queue. Held back at times, the feed runs the small queue dry
    // once, and the queue one step up rides out the same stalls after; longer stalls grow it again, up
    // to its bound. A long clean stretch then gives it back a step at a time, down to the small queue.
    void aStallingDeviceGrowsTheQueueThenACleanStretchShrinksItBack() {
        SpeakerQueue q;
        ScriptedServer server(q);
        server.run(20000);
        QCOMPARE(q.ms(), SpeakerQueue::minMs);
        QCOMPARE(q.dryCount(), 0);

        // Woken this late, the feed is away as long as a queue one step up lasts: the small one runs dry.
        const int late = SpeakerQueue::minMs + SpeakerQueue::growMs - 5;
        server.run(26000, {{20000, 26000, 300, late}});
        QCOMPARE(q.dryCount(), 1);
        QCOMPARE(q.ms(), SpeakerQueue::minMs + SpeakerQueue::growMs);

        server.run(32000, {{26000, 32000, 300, 200}});
        QCOMPARE(q.ms(), SpeakerQueue::maxMs);
        const int dry = q.dryCount();
        QVERIFY2(dry >= 3, qPrintable(QString::number(dry)));

        // Slowly: a step per clean stretch, never below the small queue.
        const auto sizes = server.run(32000 + 150000);
        QCOMPARE(q.dryCount(), dry);
        QCOMPARE(sizes.at(SpeakerQueue::cleanStretchMs / 1000 - 2), SpeakerQueue::maxMs);
        QCOMPARE(sizes.at(SpeakerQueue::cleanStretchMs / 1000 + 1), SpeakerQueue::maxMs - SpeakerQueue::shrinkMs);
        for (std::size_t i = 1; i < sizes.size(); ++i)
            QVERIFY(sizes[i] <= sizes[i - 1]);
        QCOMPARE(q.ms(), SpeakerQueue::minMs);
    }
};

QTEST_APPLESS_MAIN(SpeakerQueueTest)
#include "tst_speakerqueue.moc"
