// Toning throughput, single thread, out of place between the same two
// buffers: each kernel directly, the plug-in's own Process reached through the
// host loader (dispatch included), memcpy of the same bytes as the yardstick,
// and OpenCV's cv::transform as the peer where it was found at build time.
//
// Every figure is pixels per second ("items_per_second"); "x_memcpy" is the
// throughput relative to memcpy of the same bytes between the same buffers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/plugin/module_path.h"
#include "host/plugin/plugin_library.h"
#include "toning/kernel_dispatch.h"
#include "toning/preset_matrices.h"

#if defined(SEPIA_BENCH_HAVE_OPENCV)
#include <opencv2/core.hpp>
#endif

namespace {

constexpr int kSizes[] = {4096, 512};

// Presets 0 and 1 (the largest sums) and an index that selects none.
struct PresetCase {
    const char* name;
    int index;
};
constexpr PresetCase kPresets[] = {{"preset0", 0}, {"preset1", 1}, {"none", 11}};

// Two 64-byte-aligned image buffers of one size, filled once.
struct Images {
    explicit Images(int side) : pixels(static_cast<std::size_t>(side) * static_cast<std::size_t>(side)) {
        source = allocate();
        destination = allocate();
        std::mt19937 random(12345);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same image every run
        for (std::size_t i = 0; i < bytes(); i += 4) {
            const std::uint32_t pixel = random();
            std::memcpy(source.get() + i, &pixel, 4);
        }
        std::memset(destination.get(), 0x80, bytes());
    }
    std::size_t bytes() const { return 4 * pixels; }

    struct Free {
        void operator()(std::uint8_t* p) const { ::operator delete[](p, std::align_val_t{64}); }
    };
    using Buffer = std::unique_ptr<std::uint8_t[], Free>;
    Buffer allocate() const { return Buffer(new (std::align_val_t{64}) std::uint8_t[bytes()]); }

    std::size_t pixels;
    Buffer source;
    Buffer destination;
};

Images& imagesFor(int side) {
    static std::map<int, std::unique_ptr<Images>> images;
    auto& slot = images[side];
    if (!slot) {
        slot = std::make_unique<Images>(side);
    }
    return *slot;
}

// Runs `operation` once per benchmark iteration, each time right after a
// memcpy of the same bytes between the same buffers, and times both. The
// reported time is the operation's alone; "x_memcpy" is memcpy's time over
// the operation's, from interleaved runs, so that the ratio holds even while
// a shared machine's memory bandwidth drifts.
template <typename Operation>
void measureAgainstMemcpy(benchmark::State& state, Images& images, Operation operation) {
    using Clock = std::chrono::steady_clock;
    double memcpySeconds = 0;
    double operationSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::memcpy(images.destination.get(), images.source.get(), images.bytes());
        benchmark::ClobberMemory();
        const auto copied = Clock::now();
        operation();
        benchmark::ClobberMemory();
        const auto done = Clock::now();
        const double seconds = std::chrono::duration<double>(done - copied).count();
        memcpySeconds += std::chrono::duration<double>(copied - start).count();
        operationSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(images.pixels));
    state.counters["x_memcpy"] = memcpySeconds / operationSeconds;
}

void benchMemcpy(benchmark::State& state, int side) {
    Images& images = imagesFor(side);
    measureAgainstMemcpy(state, images,
                         [&] { std::memcpy(images.destination.get(), images.source.get(), images.bytes()); });
}

void benchKernel(benchmark::State& state, int side, ToningKernel kernel, int preset) {
    Images& images = imagesFor(side);
    const ToningMatrix& matrix = toningMatrixFor(preset);
    measureAgainstMemcpy(state, images,
                         [&] { kernel(images.destination.get(), images.source.get(), images.pixels, matrix); });
}

void benchProcess(benchmark::State& state, int side, const host::PluginLibrary& library, int preset) {
    Images& images = imagesFor(side);
    host::PluginObject object(library);
    host::ParameterBlock record;
    record.setValue(preset);
    measureAgainstMemcpy(state, images,
                         [&] { object.process(images.destination.get(), images.source.get(), side, side, record); });
}

#if defined(SEPIA_BENCH_HAVE_OPENCV)
void benchOpenCv(benchmark::State& state, int side, int preset) {
    Images& images = imagesFor(side);
    cv::setNumThreads(1);
    const cv::Mat source(side, side, CV_8UC4, images.source.get());
    cv::Mat destination(side, side, CV_8UC4, images.destination.get());
    // BGRA in, BGRA out: rows are output blue, green, red, alpha.
    const ToningMatrix& m = toningMatrixFor(preset);
    auto w = [](std::int16_t weight) { return static_cast<float>(weight) / 10000.0f; };
    const cv::Matx44f transform(w(m.blue.blue), w(m.blue.green), w(m.blue.red), 0,     //
                                w(m.green.blue), w(m.green.green), w(m.green.red), 0,  //
                                w(m.red.blue), w(m.red.green), w(m.red.red), 0,        //
                                0, 0, 0, 1);
    measureAgainstMemcpy(state, images, [&] { cv::transform(source, destination, transform); });
}
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);

    std::unique_ptr<host::PluginLibrary> library;
    try {
        library = std::make_unique<host::PluginLibrary>(host::pluginBesideExecutable());
    } catch (const host::PluginLoadError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    std::string kernelsRun;
    for (int side : kSizes) {
        const std::string size = std::to_string(side) + "x" + std::to_string(side);
        benchmark::RegisterBenchmark(("memcpy/" + size).c_str(), benchMemcpy, side)->UseManualTime();
        for (const PresetCase& preset : kPresets) {
            const std::string suffix = "/" + size + "/" + preset.name;
            benchmark::RegisterBenchmark(("Process" + suffix).c_str(), benchProcess, side, std::cref(*library),
                                         preset.index)
                ->UseManualTime();
            for (const ToningKernelChoice& choice : toningKernels()) {
                if (choice.supported) {
                    benchmark::RegisterBenchmark((std::string("kernel_") + choice.name + suffix).c_str(), benchKernel,
                                                 side, choice.kernel, preset.index)
                        ->UseManualTime();
                }
            }
#if defined(SEPIA_BENCH_HAVE_OPENCV)
            benchmark::RegisterBenchmark(("opencv_transform" + suffix).c_str(), benchOpenCv, side, preset.index)
                ->UseManualTime();
#endif
        }
    }
    for (const ToningKernelChoice& choice : toningKernels()) {
        std::printf("kernel %-10s %s\n", choice.name, choice.supported ? "measured" : "not supported by this CPU");
    }
#if !defined(SEPIA_BENCH_HAVE_OPENCV)
    std::printf("OpenCV was not found when this benchmark was built: no cv::transform figures\n");
#endif
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
