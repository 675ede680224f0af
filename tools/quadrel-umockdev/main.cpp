// quadrel-umockdev-run: runs a program with a simulated Quadrel on an
// emulated USB bus. The program sees the camera through udev, libusb and
// hidapi as if it were plugged in; the simulated camera answers it.
//
//   quadrel-umockdev-run [--serial S] [--board S] [--firmware V] [--boot V]
//                        [--script FILE] [--unplug-after MS]
//                        [--update-mode-after MS] [--firmware-after-update V]
//                        [--wrong-status-at-read N] [--received FILE] -- PROGRAM [ARGS...]
//
// --script sends the camera's reports of a script file ("<delay ms> <hex
// bytes>" per line) once the program has started. --update-mode-after puts
// the camera into its firmware-update mode that long after the start (it
// leaves and comes back as 202c:0084 on the next port), as a user does by
// hand; there it answers the status read N (counted from 0) with an error
// when asked to, and after an update comes back in camera mode with the
// firmware version V. --received writes the image the camera took to FILE
// when the program has ended. The exit status is the program's. Restarts
// itself under umockdev-wrapper when needed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "QuadrelUmockdevBed.h"

using kelvo::device::sim::QuadrelIdentity;
using kelvo::device::sim::QuadrelSimulator;
using kelvo::device::sim::ScriptStep;
using kelvo::device::umock::QuadrelUmockdevBed;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: quadrel-umockdev-run [--serial S] [--board S] [--firmware V] [--boot V]\n"
                         "                            [--script FILE] [--unplug-after MS]\n"
                         "                            [--update-mode-after MS] [--firmware-after-update V]\n"
                         "                            [--wrong-status-at-read N] [--report-node-delay MS]\n"
                         "                            [--received FILE] -- PROGRAM [ARGS...]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (!QuadrelUmockdevBed::inMockEnvironment()) {
        std::vector<char *> again;
        again.push_back(const_cast<char *>("umockdev-wrapper"));
        for (int i = 0; i < argc; ++i)
            again.push_back(argv[i]);
        again.push_back(nullptr);
        execvp("umockdev-wrapper", again.data());
        std::perror("quadrel-umockdev-run: umockdev-wrapper");
        return 127;
    }

    QuadrelIdentity identity;
    std::string scriptFile;
    long unplugAfterMs = -1;
    long updateModeAfterMs = -1;
    QuadrelUmockdevBed::FirmwareBehaviour firmware;
    std::string receivedFile;
    int programIndex = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        const char *next = nullptr;
        if (arg == "--") {
            programIndex = i + 1;
            break;
        } else if (arg == "--serial" && (next = value())) {
            identity.deviceSerialNumber = next;
        } else if (arg == "--board" && (next = value())) {
            identity.boardSerialNumber = next;
        } else if (arg == "--firmware" && (next = value())) {
            identity.deviceFirmwareVersion = next;
        } else if (arg == "--boot" && (next = value())) {
            identity.bootFirmwareVersion = next;
        } else if (arg == "--script" && (next = value())) {
            scriptFile = next;
        } else if (arg == "--unplug-after" && (next = value())) {
            unplugAfterMs = std::atol(next);
        } else if (arg == "--update-mode-after" && (next = value())) {
            updateModeAfterMs = std::atol(next);
        } else if (arg == "--firmware-after-update" && (next = value())) {
            firmware.firmwareAfterUpdate = next;
        } else if (arg == "--wrong-status-at-read" && (next = value())) {
            firmware.wrongStatusAtRead = std::atoi(next);
        } else if (arg == "--report-node-delay" && (next = value())) {
            firmware.reportNodeDelayMs = std::atoi(next);
        } else if (arg == "--received" && (next = value())) {
            receivedFile = next;
        } else {
            return usage();
        }
    }
    if (programIndex < 0 || programIndex >= argc)
        return usage();

    std::vector<ScriptStep> script;
    if (!scriptFile.empty()) {
        std::ifstream file(scriptFile);
        std::stringstream text;
        text << file.rdbuf();
        if (!file || !QuadrelSimulator::parseScript(text.str(), script)) {
            std::fprintf(stderr, "quadrel-umockdev-run: cannot read script %s\n", scriptFile.c_str());
            return 2;
        }
    }

    auto camera = std::make_shared<QuadrelSimulator>(identity);
    camera->setLensPositionObserver([](std::uint16_t lens) { std::fprintf(stderr, "quadrel: lens %u\n", lens); });
    camera->setFrozenObserver([](bool frozen) { std::fprintf(stderr, "quadrel: %s\n", frozen ? "frozen" : "live"); });
    camera->setLightObserver([](bool on) { std::fprintf(stderr, "quadrel: light %s\n", on ? "on" : "off"); });
    QuadrelUmockdevBed bed(camera);
    QuadrelUmockdevBed::Options updateOptions;
    updateOptions.port = 2;
    updateOptions.firmwareUpdateMode = true;
    QuadrelUmockdevBed updateMode(camera, updateOptions, firmware);
    std::string error;
    if (!bed.plugIn(&error)) {
        std::fprintf(stderr, "quadrel-umockdev-run: %s\n", error.c_str());
        return 1;
    }

    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[programIndex], argv + programIndex);
        std::perror("quadrel-umockdev-run: exec");
        _exit(127);
    }
    if (child < 0) {
        std::perror("quadrel-umockdev-run: fork");
        return 1;
    }
    if (!script.empty())
        camera->runScript(script);

    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (unplugAfterMs >= 0 &&
            std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(unplugAfterMs)) {
            std::fprintf(stderr, "quadrel: unplugged\n");
            bed.unplug();
            unplugAfterMs = -1;
        }
        if (updateModeAfterMs >= 0 &&
            std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(updateModeAfterMs)) {
            std::fprintf(stderr, "quadrel: entering firmware update mode\n");
            bed.unplug();
            if (!updateMode.plugIn(&error))
                std::fprintf(stderr, "quadrel-umockdev-run: %s\n", error.c_str());
            updateModeAfterMs = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    camera->stopScript();
    if (!receivedFile.empty()) {
        const std::vector<std::uint8_t> image = updateMode.receivedImage();
        std::ofstream out(receivedFile, std::ios::binary);
        out.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
