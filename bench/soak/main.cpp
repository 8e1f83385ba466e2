// Soak run: the serial worker, on its reopening link as `ostrovel-cli watch` keeps it, against
// the panel simulator at the real line rate for a long time, with events, bursts of records the
// panel kept, lock and device commands, settings reads and random faults. It reports what went
// through and checks that every event was shown exactly once (or was destroyed by a fault), that
// no request outlived the run, that the memory does not creep up, and that the worker polls again
// soon after the last fault. The exit code is 1 when a check fails.
#include "benchsupport.h"
#include "cardformat.h"
#include "eventledger.h"
#include "eventrecord.h"
#include "faultplayer.h"
#include "memorytrend.h"
#include "qpacket.h"
#include "reopeninglink.h"
#include "soaktraffic.h"
#include "soakwindows.h"

#include <QCommandLineParser>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

#include <sys/resource.h>

namespace {

// The panel's record of a lock or device command from this computer: its key field is the
// command's parameter, not a key.
constexpr quint8 ControlFromComputer = 0x26;

// The samples after the warm-up must span this long for the memory trend to be judged.
constexpr double MemoryWindowS = 240;

struct Options
{
    double seconds = 600;
    quint32 seed = 0;
    double faultRate = 2;
    bool verbose = false;
};

bool parse(const QStringList& arguments, Options* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak run of the serial worker against the "
                                                    "panel simulator, with faults."));
    parser.addHelpOption();
    const QCommandLineOption minutes(QStringLiteral("minutes"),
                                     QStringLiteral("Run time in minutes (10)."),
                                     QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Run time in seconds, for short trials."),
                                     QStringLiteral("N"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the random choices (from the clock)."),
                                  QStringLiteral("N"));
    const QCommandLineOption rate(QStringLiteral("fault-rate"),
                                  QStringLiteral("Faults a minute (2)."), QStringLiteral("F"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("List every fault and pause on standard error "
                                                    "at the end."));
    parser.addOptions({minutes, seconds, seed, rate, verbose});
    parser.process(arguments);
    bool ok = true;
    const auto number = [&](const QCommandLineOption& option, double fallback) {
        if (!parser.isSet(option))
            return fallback;
        bool good = false;
        const double value = parser.value(option).toDouble(&good);
        ok = ok && good && value >= 0;
        return value;
    };
    options->seconds = parser.isSet(seconds) ? number(seconds, 0) : 60 * number(minutes, 10);
    options->faultRate = number(rate, 2);
    options->verbose = parser.isSet(verbose);
    options->seed = parser.isSet(seed) ? quint32(number(seed, 0)) : quint32(std::random_device()());
    if (!ok || options->seconds <= 0)
        std::fprintf(stderr, "soak: times, the seed and the fault rate are positive numbers\n");
    return ok && options->seconds > 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void row(const char* what, const QString& value)
{
    std::printf("  %-52s %s\n", what, qPrintable(value));
}

// What the run counted outside the traffic and the faults.
struct LinkCounts
{
    int polls = 0;
    int records = 0;
    int controlEvents = 0;
    int linkErrors = 0;
    int starts = 0;
    int losses = 0;
    int reopenFailures = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), &options))
        return 2;
    std::printf("soak: %.0f s, seed %u, %.1f faults a minute, line pacing on\n", options.seconds,
                options.seed, options.faultRate);
    std::fflush(stdout);
    // Each player draws from its own generator, so that its choices follow from the seed
    // whatever the order in which the two players' timers happen to fire.
    std::mt19937 faultRandom(options.seed);
    std::mt19937 trafficRandom(options.seed ^ 0x9E3779B9u);

    QTemporaryDir folder;
    PanelSimulator sim;
    const QString port = folder.path() + QStringLiteral("/panel");
    QString error;
    if (!startPacedSimulator(sim) || !sim.setLinkPath(port, &error)) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(error));
        return 2;
    }

    // Everything that grows with the run is taken now, before the memory is watched.
    const double eventsPerSecond = 1000.0 / 400 * 1.5 + 40.0 / 30;
    EventLedger ledger(int(options.seconds * eventsPerSecond) + 1000);
    const int sampleMs = int(qBound(1000.0, options.seconds * 10, 5000.0));
    MemoryTrend memory(int(options.seconds * 1000 / sampleMs) + 100);
    SoakWindows windows;
    FaultPlayer faults(sim, windows, faultRandom, options.faultRate);
    sim.setTraceHandler(
        [&faults](bool incoming, const QByteArray& bytes) { faults.onTrace(incoming, bytes); });

    ReopeningLink link(port);
    QSerialPortThread* worker = link.worker();
    LinkCounts counts;
    int reopening = -1;
    QObject::connect(worker, &QSerialPortThread::event, &app,
                     [&](const QByteArray& data, const QDateTime& received) {
                         const qint64 now = soakNowUs();
                         ++counts.polls;
                         windows.pollAnswered(now);
                         if (data.size() != EventRecordSize)
                             return;
                         ++counts.records;
                         const EventRow row =
                             decodeEventRecord(data, received, CardFormat::Default);
                         if (quint8(data.at(4)) == ControlFromComputer)
                             ++counts.controlEvents;
                         else
                             ledger.shown(row.card, now);
                     });
    QObject::connect(worker, &QSerialPortThread::errorEvent, &app,
                     [&](QSerialPortError code) { counts.linkErrors += code != NoError; });
    QObject::connect(&link, &ReopeningLink::started, &app, [&] {
        ++counts.starts;
        windows.end(reopening, soakNowUs());
        reopening = -1;
        faults.onLinkStarted();
    });
    QObject::connect(&link, &ReopeningLink::lost, &app, [&] {
        ++counts.losses;
        // The polls that failed before the link gave up belong to the same trouble.
        reopening = windows.open(SoakWindows::Reopen, soakNowUs() - 10000000);
    });
    QObject::connect(&link, &ReopeningLink::reopenFailed, &app, [&] { ++counts.reopenFailures; });
    if (!link.open(&error)) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(error));
        return 2;
    }

    SoakTraffic traffic(sim, *worker, ledger, windows, trafficRandom);
    QElapsedTimer clock;
    clock.start();
    const qint64 startUs = soakNowUs();
    const double cpuBefore = cpuSeconds();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &app, [&] {
        // The simulator keeps every frame it received; that is the test double's memory.
        sim.clearLog();
        memory.sample(clock.elapsed() / 1000.0, processMemoryKiB("VmRSS:"));
    });
    sampler.start(sampleMs);
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, &app, [&] {
        std::fprintf(stderr, "soak: %.0f of %.0f min, %d events queued, %d shown, RSS %.0f KiB\n",
                     clock.elapsed() / 60000.0, options.seconds / 60, ledger.queued(),
                     counts.records, processMemoryKiB("VmRSS:"));
    });
    progress.start(60000);
    traffic.start();
    faults.start();
    idle(int(options.seconds * 1000));
    const double runSeconds = clock.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    sampler.stop();
    progress.stop();

    // The end: no more traffic or faults, and the worker hands over what the panel still holds.
    traffic.stop();
    faults.stop();
    QElapsedTimer draining;
    draining.start();
    while ((sim.pendingEvents() > 0 || !worker->isRunning()) && draining.elapsed() < 120000)
        idle(100);
    const bool drained = sim.pendingEvents() == 0 && worker->isRunning();
    idle(500);
    const qint64 endUs = soakNowUs();
    link.close();
    QCoreApplication::sendPostedEvents();
    const int packetsAlive = QPacket::liveCount();

    const QVector<SoakWindows::Window> spans = windows.all();
    const EventLedger::Verdict verdict = ledger.judge(spans, endUs);
    // Recovery: from the end of a fault to the next poll answered.
    double worstRecoveryMs = 0;
    double lastRecoveryMs = -1;
    bool lastRecovered = true;
    int faultsPlayed = 0;
    for (const SoakWindows::Window& span : spans) {
        if (options.verbose)
            std::fprintf(stderr,
                         "soak: %-18s at %8.1f s, over after %6.0f ms, then %6.0f ms to "
                         "a poll answered\n",
                         span.kind < SoakWindows::FaultKinds ? FaultPlayer::name(span.kind)
                         : span.kind == SoakWindows::Pause   ? "pause of polling"
                                                             : "port reopened",
                         (span.fromUs - startUs) / 1e6, (span.endUs - span.fromUs) / 1e3,
                         (span.recoveredUs - span.endUs) / 1e3);
        if (span.kind >= SoakWindows::FaultKinds)
            continue;
        ++faultsPlayed;
        lastRecoveryMs = SoakWindows::recoveryMs(span, spans);
        lastRecovered = lastRecoveryMs >= 0;
        worstRecoveryMs = qMax(worstRecoveryMs, lastRecoveryMs);
    }
    const double warmUp = qMin(120.0, runSeconds * 0.2);
    const double slopeKiB = memory.slopeKiBPerHour(warmUp);
    const SoakTraffic::Counts& sent = traffic.counts();

    std::printf("  %-52s %s\n", "measure", "value");
    row("run time, s", QString::number(runSeconds, 'f', 1));
    row("events queued (of them stored during pauses)",
        QStringLiteral("%1 (%2)").arg(ledger.queued()).arg(sent.storedEvents));
    row("events shown exactly once", QString::number(verdict.once));
    row("events lost to a fault / repeated near a fault",
        QStringLiteral("%1 / %2").arg(verdict.lostToFault).arg(verdict.repeatedByFault));
    row("events repeated after a pause of polling", QString::number(verdict.repeatedByPause));
    row("events lost / repeated without a cause",
        QStringLiteral("%1 / %2").arg(verdict.lost).arg(verdict.repeated));
    row("records shown that were never queued", QString::number(verdict.foreign));
    row("control events shown", QString::number(counts.controlEvents));
    row("polls answered / link errors reported",
        QStringLiteral("%1 / %2").arg(counts.polls).arg(counts.linkErrors));
    row("pauses of polling", QString::number(sent.pauses));
    // A request still queued when the link closed the port is dropped without an answer.
    row("commands sent / answered / failed / dropped",
        QStringLiteral("%1 / %2 / %3 / %4")
            .arg(sent.commandsSent)
            .arg(sent.commandsAnswered)
            .arg(sent.commandsFailed)
            .arg(sent.commandsSent - sent.commandsAnswered - sent.commandsFailed));
    row("settings reads sent / read whole",
        QStringLiteral("%1 / %2").arg(sent.settingsReads).arg(sent.settingsRead));
    for (int kind = 0; kind < SoakWindows::FaultKinds; ++kind)
        row(qPrintable(
                QStringLiteral("faults: %1").arg(FaultPlayer::name(SoakWindows::Kind(kind)))),
            QString::number(faults.played(SoakWindows::Kind(kind))));
    row("link lost / port reopened / reopening failed", QStringLiteral("%1 / %2 / %3")
                                                            .arg(counts.losses)
                                                            .arg(counts.starts - 1)
                                                            .arg(counts.reopenFailures));
    row("worst time from a fault's end to a poll answered, ms",
        QString::number(worstRecoveryMs, 'f', 0));
    row("resident memory first / last sample, KiB",
        QStringLiteral("%1 / %2").arg(memory.first(), 0, 'f', 0).arg(memory.last(), 0, 'f', 0));
    row(qPrintable(QStringLiteral("resident memory growth after %1 s (%2 samples), KiB/h")
                       .arg(warmUp, 0, 'f', 0)
                       .arg(memory.samples(warmUp))),
        QString::number(slopeKiB, 'f', 1));
    row("CPU, user+sys s per hour (worker, simulator, driver)",
        QStringLiteral("%1 (%2 % of a core)")
            .arg(cpu / runSeconds * 3600, 0, 'f', 1)
            .arg(100 * cpu / runSeconds, 0, 'f', 2));

    QStringList failed;
    const auto check = [&failed](const char* name, bool passed, const QString& detail,
                                 bool judged = true) {
        const char* result = !judged ? "not judged" : passed ? "passed" : "FAILED";
        std::printf("  %-52s %s%s\n", name, result,
                    detail.isEmpty() ? "" : qPrintable(QStringLiteral(": ") + detail));
        if (judged && !passed)
            failed << QString::fromLatin1(name);
    };
    std::printf("  %-52s %s\n", "check", "result");
    check("the panel handed over every event", drained,
          drained ? QString() : QStringLiteral("%1 left in the panel").arg(sim.pendingEvents()));
    check("every event shown exactly once or lost to a fault",
          verdict.lost == 0 && verdict.repeated == 0 && verdict.foreign == 0,
          verdict.examples.join(QStringLiteral(", ")));
    check("no request alive at the end", packetsAlive == 0,
          packetsAlive == 0 ? QString() : QStringLiteral("%1 alive").arg(packetsAlive));
    // A page more or less in a few minutes' samples is already 1 MiB an hour; a shorter run can
    // say nothing about the trend.
    const bool judged = runSeconds - warmUp >= MemoryWindowS;
    check("memory grows less than 1 MiB an hour", slopeKiB < 1024,
          judged ? QStringLiteral("%1 KiB/h").arg(slopeKiB, 0, 'f', 1)
                 : QStringLiteral("a run shorter than %1 s cannot tell")
                       .arg(MemoryWindowS + MemoryWindowS / 4),
          judged);
    check("polls answered within 300 ms of the last fault",
          faultsPlayed == 0 || (lastRecovered && lastRecoveryMs <= 300),
          faultsPlayed == 0 ? QStringLiteral("no fault was played")
          : lastRecovered   ? QStringLiteral("%1 ms").arg(lastRecoveryMs, 0, 'f', 0)
                            : QStringLiteral("no poll answered after it"));
    if (failed.isEmpty()) {
        std::printf("soak: passed\n");
        return 0;
    }
    std::printf("soak: FAILED: %s\n", qPrintable(failed.join(QStringLiteral("; "))));
    return 1;
}
