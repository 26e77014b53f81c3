// SPDX-License-Identifier: MIT
// tollmere-bench: runs the viewer's display pass while the camera orbits, in
// a private Xvfb with Mesa's software renderer at 500 x 500, and prints a
// table and one JSON line of what it costs. Each texture strategy runs in a
// process of its own, so one's memory cannot colour the other's figures:
//   made once - the viewer as it is: each picture made into a texture on the
//               first frame and bound again afterwards;
//   remade    - every frame makes the seven textures anew from their files
//               and deletes none, as a literal reading of the display pass
//               would; it exists only here, to show what that would cost.
// With --large-pictures it instead runs the viewer's way twice, with the
// default pictures and with seven 8192 x 8192 run-length RGBA gradients (the
// largest the reader takes), and the snapshot tool's start view on each: what
// the largest pictures cost in memory and in time to the first frame.
#include "app.h"
#include "camera.h"
#include "frame_capture.h"
#include "private_display.h"
#include "scene.h"
#include "scene_pictures.h"
#include "tga_writer.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ratio>
#include <stdlib.h> // mkdtemp, likewise
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h> // NOLINT(misc-include-cleaner): rusage whole; <sys/wait.h> only names it
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char usage[] =
    "usage: tollmere-bench [--large-pictures] [FRAMES]   (10 to 100000 frames, default 300)\n";
const int growthFromFrame = 10; // RSS growth is measured from this frame on
const int largeRuns       = 3;  // --large-pictures: runs of each set, taken in turns

// What one strategy's run measured; sent from its process to the parent as bytes.
struct Figures {
    double medianMs             = 0; // per frame after the first: display pass, swap and glFinish
    double p95Ms                = 0;
    double fps                  = 0; // frames after the first, over the wall time they took
    double firstFrameMs         = 0; // from the process's start to the first frame shown
    double firstFrameCpuMs      = 0; // processor time of all its threads up to then
    long peakRssKb              = 0;
    long rssGrowthKb            = 0; // from frame 10 to the end
    long liveTextures           = 0; // texture objects alive at the end
    long texturesMadeAfterFirst = 0;
    long filesOpenedAfterFirst  = -1; // -1: no data/ directory to watch
    long snapshotPeakRssKb      = -1; // tollmere-snapshot --steps 0 in the same directory; -1: not run
    double snapshotMs           = 0;
    char renderer[96]           = {};
};

// The run in this process: file-scope, since GLUT's callbacks take no arguments.
int framesWanted = 0;
bool remaking    = false;
int framesShown  = 0;
double startMs = 0, firstShownMs = 0;       // steady clock, ms
double startCpuMs = 0, firstShownCpuMs = 0; // the process's processor time, ms
std::vector<double> frameMs;
long rssAtGrowthStart = 0;
long liveAfterFirst   = 0;
int watchFd           = -1; // inotify on data/: opens of the pictures
long filesOpened      = 0;
Figures result;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double cpuMs()
{
    return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// A "VmRSS:"-style line of /proc/self/status, in kB.
long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::strtol(line.c_str() + n, nullptr, 10);
    return -1;
}

// Opens of files in data/ are seen through inotify, so a frame path that
// reads a picture shows up however it reads it.
void watchPictures()
{
    watchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd >= 0 && inotify_add_watch(watchFd, "data", IN_OPEN) < 0) {
        close(watchFd);
        watchFd = -1;
    }
}

// Counts the opens seen so far; called every frame, as the kernel's queue is bounded.
void countOpens()
{
    alignas(inotify_event) char buffer[4096];
    ssize_t n = 0;
    while (watchFd >= 0 && (n = read(watchFd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            ++filesOpened;
        }
    }
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto last = static_cast<double>(values.size() - 1);
    return values[static_cast<size_t>(std::lround(p * last))];
}

// The figures at the end of the run, while the window and its context live.
void takeFinalFigures()
{
    result.medianMs               = percentile(frameMs, 0.5);
    result.p95Ms                  = percentile(frameMs, 0.95);
    const double wallMs           = nowMs() - firstShownMs;
    result.fps                    = wallMs > 0 ? 1000.0 * static_cast<double>(frameMs.size()) / wallMs : 0;
    result.firstFrameMs           = firstShownMs - startMs;
    result.firstFrameCpuMs        = firstShownCpuMs - startCpuMs;
    result.peakRssKb              = statusKb("VmHWM:");
    result.rssGrowthKb            = statusKb("VmRSS:") - rssAtGrowthStart;
    result.liveTextures           = liveTextureCount(static_cast<GLuint>(7 * framesWanted + 1024));
    result.texturesMadeAfterFirst = result.liveTextures - liveAfterFirst;
    countOpens();
    result.filesOpenedAfterFirst = watchFd >= 0 ? filesOpened : -1;
}

// The first frame: what it left behind is the baseline for the rest.
void afterFirstFrame()
{
    firstShownMs         = nowMs();
    firstShownCpuMs      = cpuMs();
    liveAfterFirst       = liveTextureCount(1024);
    filesOpened          = 0;
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    (void)std::snprintf(result.renderer, sizeof result.renderer, "%s", renderer ? renderer : "unknown");
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 0, 0); // orbit from here on, as after a left click
}

// Wraps the viewer's display callback: the real pass, timed to the end of its
// drawing (glFinish), and the bookkeeping between frames.
void timedDisplay()
{
    if (remaking && framesShown > 0)
        forgetSurfaceTextures();
    const double began = nowMs();
    display();
    glFinish();
    const double ms = nowMs() - began;
    ++framesShown;
    countOpens();
    if (framesShown == 1)
        afterFirstFrame();
    else
        frameMs.push_back(ms);
    if (framesShown == growthFromFrame)
        rssAtGrowthStart = statusKb("VmRSS:");
    if (framesShown == framesWanted) {
        takeFinalFigures();
        glutLeaveMainLoop();
    }
}

// One strategy in this process: the viewer's start-up and its own event loop.
Figures measure(int frames, bool remake)
{
    framesWanted = frames;
    remaking     = remake;
    startMs      = nowMs();
    startCpuMs   = cpuMs();
    frameMs.reserve(static_cast<size_t>(frames));
    watchPictures();

    int argc     = 1;
    char name[]  = "tollmere-bench";
    char* argv[] = { name, nullptr };
    openViewer(&argc, argv);
    glutDisplayFunc(timedDisplay);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutMainLoop(); // left after the last frame
    return result;
}

// Runs one strategy in a child process, in dir (its data/ holds the
// pictures), and takes its figures back through a pipe.
bool runInChild(int frames, bool remake, const std::string& dir, Figures* figures)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        if (chdir(dir.c_str()) != 0)
            _exit(1);
        const Figures f = measure(frames, remake);
        _exit(write(fds[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f) ? 0 : 1);
    }
    close(fds[1]);
    const bool got = read(fds[0], figures, sizeof *figures) == static_cast<ssize_t>(sizeof *figures);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    figures->renderer[sizeof figures->renderer - 1] = '\0';
    // <cstdlib> defines these before <sys/wait.h> does, and clang-tidy 19 asks for <stdlib.h>.
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0; // NOLINT(misc-include-cleaner)
}

// tollmere-snapshot --steps 0, from beside this program, run in dir: its
// peak resident memory and its wall time.
bool runSnapshot(const std::string& dir, Figures* figures)
{
    const std::string tool =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tollmere-snapshot").string();
    const std::string out = dir + "/bench-snapshot.png";
    const double began    = nowMs();
    const pid_t pid       = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        if (chdir(dir.c_str()) == 0 && freopen("/dev/null", "w", stdout))
            execl(tool.c_str(), tool.c_str(), "--steps", "0", "--out", out.c_str(),
                  static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage resources{};
    if (wait4(pid, &status, 0, &resources) != pid)
        return false;
    figures->snapshotMs        = nowMs() - began;
    figures->snapshotPeakRssKb = resources.ru_maxrss;
    std::remove(out.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const int largeSide = 8192; // the reader's limit: 8192 x 8192 pixels

// Seven largeSide x largeSide run-length RGBA pictures in dir/data: smooth
// gradients, a little different each, so every mipmap level has work to do
// and runs stay short. Made in a child process, so the figures of the runs
// after it carry none of its memory.
bool writeLargePictures(const std::string& dir)
{
    const std::string data = dir + "/data";
    if (mkdir(data.c_str(), 0755) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const auto side = static_cast<size_t>(largeSide);
        std::vector<unsigned char> pixels(side * side * 4);
        for (int k = 0; k < scenePictureCount; ++k) {
            const size_t tint = static_cast<size_t>(k) * 36; // each picture a little different
            unsigned char* p  = pixels.data();
            for (size_t y = 0; y < side; ++y)
                for (size_t x = 0; x < side; ++x, p += 4) {
                    p[0] = static_cast<unsigned char>(x >> 5u);
                    p[1] = static_cast<unsigned char>(y >> 5u);
                    p[2] = static_cast<unsigned char>(((x + y) >> 6u) ^ tint);
                    p[3] = 255;
                }
            TgaWriteOptions options;
            options.bits      = 32;
            options.runLength = true;
            if (!writeFile(data + "/" + scenePictures[k].file,
                           encodeTga(largeSide, largeSide, 4, pixels, options)))
                _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0 && line.find(": ") != std::string::npos)
            return line.substr(line.find(": ") + 2);
    return "unknown processor";
}

std::string fixed(double value, int decimals)
{
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return n > 0 ? std::string(text) : std::string("?");
}

std::string megabytes(long kb, int decimals)
{
    return fixed(static_cast<double>(kb) / 1024.0, decimals);
}

std::string filesText(long count)
{
    return count < 0 ? std::string("no data/") : std::to_string(count);
}

void row(const char* label, const std::string& once, const std::string& remade)
{
    std::printf("| %-40s | %12s | %12s |\n", label, once.c_str(), remade.c_str());
}

void printHeading(int frames, const Figures& figures)
{
    std::printf("Tollmere display pass, %d frames at 500 x 500 while orbiting\n", frames);
    std::printf("machine: %ld cores, %s; renderer: %s in a private Xvfb\n\n", sysconf(_SC_NPROCESSORS_ONLN),
                cpuModel().c_str(), figures.renderer);
}

void printRule()
{
    std::printf("|%s|%s|%s|\n", std::string(42, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str());
}

void printTable(int frames, const Figures& once, const Figures& remade, double ratio)
{
    printHeading(frames, once);
    row("textures", "made once", "remade");
    printRule();
    row("frames", std::to_string(frames), std::to_string(frames));
    row("median ms per frame", fixed(once.medianMs, 2), fixed(remade.medianMs, 2));
    row("95th percentile ms per frame", fixed(once.p95Ms, 2), fixed(remade.p95Ms, 2));
    row("frames per second", fixed(once.fps, 1), fixed(remade.fps, 1));
    row("ms from start to first frame shown", fixed(once.firstFrameMs, 0), fixed(remade.firstFrameMs, 0));
    row("peak RSS, MB", megabytes(once.peakRssKb, 1), megabytes(remade.peakRssKb, 1));
    row("RSS growth from frame 10 to the end, MB", megabytes(once.rssGrowthKb, 2),
        megabytes(remade.rssGrowthKb, 2));
    row("live texture objects at the end", std::to_string(once.liveTextures),
        std::to_string(remade.liveTextures));
    row("texture objects made after frame 1", std::to_string(once.texturesMadeAfterFirst),
        std::to_string(remade.texturesMadeAfterFirst));
    row("files opened in data/ after frame 1", filesText(once.filesOpenedAfterFirst),
        filesText(remade.filesOpenedAfterFirst));
    std::printf("\nremade / made once, median ms per frame: %.2f\n", ratio);
}

std::string snapshotRss(const Figures& f)
{
    return f.snapshotPeakRssKb < 0 ? std::string("not run") : megabytes(f.snapshotPeakRssKb, 1);
}

void printPicturesTable(int frames, const Figures& small, const Figures& large, double ratio)
{
    printHeading(frames, small);
    row("pictures (textures made once)", "default", "7 x 8192^2");
    printRule();
    row("ms from start to first frame shown", fixed(small.firstFrameMs, 0), fixed(large.firstFrameMs, 0));
    row("processor ms to the first frame", fixed(small.firstFrameCpuMs, 0), fixed(large.firstFrameCpuMs, 0));
    row("peak RSS, MB", megabytes(small.peakRssKb, 1), megabytes(large.peakRssKb, 1));
    row("median ms per frame", fixed(small.medianMs, 2), fixed(large.medianMs, 2));
    row("95th percentile ms per frame", fixed(small.p95Ms, 2), fixed(large.p95Ms, 2));
    row("live texture objects at the end", std::to_string(small.liveTextures),
        std::to_string(large.liveTextures));
    row("snapshot --steps 0: peak RSS, MB", snapshotRss(small), snapshotRss(large));
    row("snapshot --steps 0: ms in all", fixed(small.snapshotMs, 0), fixed(large.snapshotMs, 0));
    std::printf("\nmedian of %d runs of each, in turns; peak RSS the highest of them\n", largeRuns);
    std::printf("large / default, ms to the first frame: %.2f\n", ratio);
}

std::string json(const Figures& f)
{
    return "{\"median_ms\":" + fixed(f.medianMs, 2) + ",\"p95_ms\":" + fixed(f.p95Ms, 2)
           + ",\"fps\":" + fixed(f.fps, 1) + ",\"first_frame_ms\":" + fixed(f.firstFrameMs, 0)
           + ",\"first_frame_cpu_ms\":" + fixed(f.firstFrameCpuMs, 0) + ",\"peak_rss_kb\":"
           + std::to_string(f.peakRssKb) + ",\"rss_growth_kb\":" + std::to_string(f.rssGrowthKb)
           + ",\"live_textures\":" + std::to_string(f.liveTextures)
           + ",\"textures_made_after_first_frame\":" + std::to_string(f.texturesMadeAfterFirst)
           + ",\"files_opened_after_first_frame\":" + std::to_string(f.filesOpenedAfterFirst)
           + (f.snapshotPeakRssKb < 0 ? std::string()
                                      : ",\"snapshot_peak_rss_kb\":" + std::to_string(f.snapshotPeakRssKb)
                                            + ",\"snapshot_ms\":" + fixed(f.snapshotMs, 0))
           + "}";
}

bool parseArguments(int argc, char** argv, int* frames, bool* largePictures)
{
    int at = 1;
    if (at < argc && std::strcmp(argv[at], "--large-pictures") == 0) {
        *largePictures = true;
        ++at;
    }
    if (at == argc)
        return true;
    if (at + 1 < argc)
        return false;
    char* end        = nullptr;
    const long value = std::strtol(argv[at], &end, 10);
    if (!*argv[at] || *end || value < growthFromFrame || value > 100000)
        return false;
    *frames = static_cast<int>(value);
    return true;
}

int fail(const std::string& message)
{
    (void)std::fprintf(stderr, "tollmere-bench: %s\n", message.c_str());
    return 1;
}

// The default pictures in the working directory's data/ against seven of
// the largest, made in a scratch directory.
// Of several runs of one set, the one with the median time to the first
// frame (on a shared machine one run may be slowed by other work), with the
// highest peak memory of them all and the median snapshot time.
Figures medianRun(std::vector<Figures> runs)
{
    const auto byFirstFrame = [](const Figures& a, const Figures& b) {
        return a.firstFrameMs < b.firstFrameMs;
    };
    const auto bySnapshot = [](const Figures& a, const Figures& b) { return a.snapshotMs < b.snapshotMs; };
    std::sort(runs.begin(), runs.end(), bySnapshot);
    const double snapshotMs = runs[runs.size() / 2].snapshotMs;
    std::sort(runs.begin(), runs.end(), byFirstFrame);
    Figures median    = runs[runs.size() / 2];
    median.snapshotMs = snapshotMs;
    for (const Figures& run : runs) {
        median.peakRssKb         = std::max(median.peakRssKb, run.peakRssKb);
        median.snapshotPeakRssKb = std::max(median.snapshotPeakRssKb, run.snapshotPeakRssKb);
    }
    return median;
}

// The default pictures in the working directory's data/ against seven of
// the largest, made in a scratch directory.
int compareLargePictures(int frames)
{
    char scratch[] = "/tmp/tollmere-bench-XXXXXX";
    if (!mkdtemp(scratch))
        return fail(std::string("no scratch directory: ") + std::strerror(errno));
    const std::string large = scratch;
    std::vector<Figures> small(largeRuns), big(largeRuns);
    std::string problem;
    if (!writeLargePictures(large))
        problem = "cannot write the large pictures in " + large;
    for (int i = 0; i < largeRuns && problem.empty(); ++i)
        if (!runInChild(frames, false, ".", &small[i]) || !runInChild(frames, false, large, &big[i]))
            problem = "a run did not finish (see its messages above)";
    endPrivateDisplay();
    for (int i = 0; i < largeRuns && problem.empty(); ++i)
        if (!runSnapshot(".", &small[i]) || !runSnapshot(large, &big[i]))
            problem = "a snapshot run did not finish (see its messages above)";
    std::filesystem::remove_all(large);
    if (!problem.empty())
        return fail(problem);

    const Figures one = medianRun(small), seven = medianRun(big);
    const double ratio = one.firstFrameMs > 0 ? seven.firstFrameMs / one.firstFrameMs : 0;
    printPicturesTable(frames, one, seven, ratio);
    std::printf("{\"frames\":%d,\"runs\":%d,\"default_pictures\":%s,\"large_pictures\":%s,\"first_frame_"
                "ratio\":%s}\n",
                frames, largeRuns, json(one).c_str(), json(seven).c_str(), fixed(ratio, 2).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int frames         = 300;
    bool largePictures = false;
    if (!parseArguments(argc, argv, &frames, &largePictures)) {
        (void)std::fputs(usage, stderr);
        return 2;
    }
    useSoftwareRenderer();
    std::string error;
    if (!startPrivateDisplay(&error))
        return fail(error);
    if (largePictures)
        return compareLargePictures(frames);

    Figures once, remade;
    if (!runInChild(frames, false, ".", &once) || !runInChild(frames, true, ".", &remade))
        return fail("a run did not finish (see its messages above)");
    endPrivateDisplay();

    const double ratio = once.medianMs > 0 ? remade.medianMs / once.medianMs : 0;
    printTable(frames, once, remade, ratio);
    std::printf("{\"frames\":%d,\"made_once\":%s,\"remade\":%s,\"remade_to_made_once\":%s}\n", frames,
                json(once).c_str(), json(remade).c_str(), fixed(ratio, 2).c_str());
    return 0;
}
