// Cost of the settings file for the interface: loading files of 10,000 and
// 200,000 keys, and how long a save holds the calling (main) thread with the
// file written there and with it written in the background. Prints one
// "<name> <milliseconds>" line per figure, then "ratio
// save_main_thread_background_vs_inline_200k <value>". Goal: a background save
// of 200,000 keys holds the main thread for less than one frame (33 ms).
#include "settings/PlistValue.h"
#include "settings/SettingsStore.h"

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace kelvo::settings;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void fill(SettingsStore &store, int keys)
{
    for (int i = 0; i < keys; ++i)
        store.setValue(QStringLiteral("Key%1").arg(i), PlistValue::integer(i));
}

double loadMs(const QString &path, int keys)
{
    {
        SettingsStore writer(path);
        writer.removePersistentDomain();
        fill(writer, keys);
        writer.synchronize();
    }
    std::vector<double> times;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        SettingsStore store(path);
        times.push_back(msSince(start));
        if (store.intValueForKey(QStringLiteral("Key%1").arg(keys - 1), -1) != keys - 1)
            std::fprintf(stderr, "load of %d keys read back wrong\n", keys);
    }
    return median(times);
}

// Time synchronize() keeps its caller, over a few saves of one changed key.
double saveMs(const QString &path, int keys, bool inBackground)
{
    SettingsStore store(path);
    fill(store, keys);
    store.synchronize();
    store.setWritesInBackground(inBackground);
    std::vector<double> times;
    for (int round = 0; round < 5; ++round) {
        store.setValue(QStringLiteral("ZoomLevel"), PlistValue::integer(round));
        const auto start = Clock::now();
        store.synchronize();
        times.push_back(msSince(start));
        store.waitForWrites(); // each save on its own, not queued behind the last
    }
    return median(times);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("com.morvane.KelvoViewer.plist"));
    std::printf("settings_load_10k_ms %.1f\n", loadMs(path, 10000));
    std::printf("settings_load_200k_ms %.1f\n", loadMs(path, 200000));
    const double inlineMs = saveMs(path, 200000, false);
    const double backgroundMs = saveMs(path, 200000, true);
    std::printf("settings_save_main_thread_inline_200k_ms %.1f\n", inlineMs);
    std::printf("settings_save_main_thread_background_200k_ms %.1f\n", backgroundMs);
    std::printf("ratio save_main_thread_background_vs_inline_200k %.3f\n", backgroundMs / inlineMs);
    return 0;
}
