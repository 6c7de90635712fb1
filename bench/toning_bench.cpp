// Toning throughput, single thread: each kernel directly, the plug-in's own
// Process reached through the host loader (dispatch included), and OpenCV's
// cv::transform as the peer where it was found at build time.
//
// Every case runs at two sizes (4096x4096, far beyond the caches of most
// CPUs, and 512x512, within them), on two kinds of buffers (as malloc hands
// them out, and page-aligned, as a host that maps its images hands them
// over), out of place and in place.
//
// Every figure is pixels per second ("items_per_second"), with two ratios
// timed in alternation with the operation, on the same buffers, in the same
// loop, so that they hold while a shared machine's memory bandwidth drifts:
//   x_memcpy     memcpy of the same bytes over the operation's time;
//   x_keep_copy  the memory traffic the toning cannot avoid: bytes 0..2 of
//                every pixel copied, byte 3 of the destination kept (read
//                source, read destination, write destination), over the
//                operation's time. 1.0 is the limit at sizes beyond the caches.
// At the end, a summary gives each kernel's rate at 4096x4096 as a share of
// min(keep-copy, the same code's rate at 512x512): what it loses to memory.
#include <benchmark/benchmark.h>

#include <emmintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/plugin/module_path.h"
#include "host/plugin/plugin_library.h"
#include "toning/kernel_dispatch.h"
#include "toning/memory_access.h"
#include "toning/preset_matrices.h"

#if defined(SEPIA_BENCH_HAVE_OPENCV)
#include <opencv2/core.hpp>
#endif

namespace {

constexpr int kSizes[] = {4096, 512};
constexpr int kPreset = 0;  // the speed of every kernel is the same for every preset

enum class BufferKind { Malloc, PageAligned };
enum class Placement { OutOfPlace, InPlace };

const char* nameOf(BufferKind kind) { return kind == BufferKind::Malloc ? "malloc" : "page"; }
const char* nameOf(Placement placement) { return placement == Placement::OutOfPlace ? "out" : "in"; }

// One image buffer of `bytes`, where malloc puts it, or on a page boundary.
class Buffer {
public:
    Buffer(std::size_t bytes, BufferKind kind)
        : memory_(static_cast<std::uint8_t*>(std::malloc(bytes + (kind == BufferKind::PageAligned ? kPage : 0)))) {
        if (memory_ == nullptr) {
            throw std::bad_alloc();
        }
        data_ = memory_.get();
        if (kind == BufferKind::PageAligned) {
            data_ += (kPage - reinterpret_cast<std::uintptr_t>(data_) % kPage) % kPage;
        }
    }
    std::uint8_t* data() const { return data_; }

private:
    static constexpr std::size_t kPage = 4096;
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> memory_;
    std::uint8_t* data_;
};

// A source image of random pixels and a destination of one size and kind.
struct Images {
    Images(int side, BufferKind kind)
        : pixels(static_cast<std::size_t>(side) * static_cast<std::size_t>(side)),
          source(4 * pixels, kind),
          destination(4 * pixels, kind) {
        std::mt19937 random(12345);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same image every run
        for (std::size_t i = 0; i < bytes(); i += 4) {
            const std::uint32_t pixel = random();
            std::memcpy(source.data() + i, &pixel, 4);
        }
        std::memset(destination.data(), 0x80, bytes());
    }
    std::size_t bytes() const { return 4 * pixels; }

    std::size_t pixels;
    Buffer source;
    Buffer destination;
};

Images& imagesFor(int side, BufferKind kind) {
    static std::map<std::pair<int, BufferKind>, std::unique_ptr<Images>> images;
    auto& slot = images[{side, kind}];
    if (!slot) {
        slot = std::make_unique<Images>(side, kind);
    }
    return *slot;
}

// Where the library's stores go for a call on these buffers.
StorePolicy storesFor(const std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount) {
    return activeToningPlan().storesFor(destination, source, pixelCount);
}

// The yardstick: bytes 0..2 of each pixel from `source`, byte 3 of
// `destination` kept, walking memory as the kernels do: a cache line at a
// time from the destination's first line boundary, source and destination
// prefetched ahead, and stored around the caches where the library would.
// In place it reads and writes the one buffer.
void keepCopy(std::uint8_t* destination, const std::uint8_t* source, std::size_t pixelCount) {
    const __m128i fourthByte = _mm_set1_epi32(static_cast<std::int32_t>(0xFF000000u));
    auto kept = [&](const std::uint8_t* in, const std::uint8_t* out) {
        const __m128i colour = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i fourth = _mm_load_si128(reinterpret_cast<const __m128i*>(out));
        return _mm_or_si128(_mm_andnot_si128(fourthByte, colour), _mm_and_si128(fourthByte, fourth));
    };
    const bool stream = storesFor(destination, source, pixelCount) == StorePolicy::AroundCaches;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(destination);
    std::size_t done = 0;
    for (std::size_t head = (kLineBytes - address % kLineBytes) % kLineBytes / 4; done < head && done < pixelCount;
         ++done) {
        std::memcpy(destination + 4 * done, source + 4 * done, 3);
    }
    for (; done + kLinePixels <= pixelCount; done += kLinePixels) {
        std::uint8_t* out = destination + 4 * done;
        const std::uint8_t* in = source + 4 * done;
        prefetchAhead(source, destination, 4 * done);
        const __m128i line[4] = {kept(in, out), kept(in + 16, out + 16), kept(in + 32, out + 32),
                                 kept(in + 48, out + 48)};
        for (int v = 0; v < 4; ++v) {
            if (stream) {
                _mm_stream_si128(reinterpret_cast<__m128i*>(out + 16 * v), line[v]);
            } else {
                _mm_store_si128(reinterpret_cast<__m128i*>(out + 16 * v), line[v]);
            }
        }
    }
    if (stream) {
        _mm_sfence();
    }
    for (; done < pixelCount; ++done) {
        std::memcpy(destination + 4 * done, source + 4 * done, 3);
    }
}

// Runs `operation` once per benchmark iteration, each time after memcpy and
// keep-copy of the same bytes (memcpy from the source into the destination,
// keep-copy with the operation's own source and destination), and times all
// three. The reported time is the operation's alone.
template <typename Operation>
void measure(benchmark::State& state, int side, BufferKind kind, Placement placement, Operation operation) {
    using Clock = std::chrono::steady_clock;
    Images& images = imagesFor(side, kind);
    std::uint8_t* destination = images.destination.data();
    const std::uint8_t* source = placement == Placement::InPlace ? destination : images.source.data();
    double memcpySeconds = 0;
    double keepCopySeconds = 0;
    double operationSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        std::memcpy(images.destination.data(), images.source.data(), images.bytes());
        benchmark::ClobberMemory();
        const auto copied = Clock::now();
        keepCopy(destination, source, images.pixels);
        benchmark::ClobberMemory();
        const auto kept = Clock::now();
        operation(destination, source, side);
        benchmark::ClobberMemory();
        const auto done = Clock::now();
        const double seconds = std::chrono::duration<double>(done - kept).count();
        memcpySeconds += std::chrono::duration<double>(copied - start).count();
        keepCopySeconds += std::chrono::duration<double>(kept - copied).count();
        operationSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(images.pixels));
    state.counters["x_memcpy"] = memcpySeconds / operationSeconds;
    state.counters["x_keep_copy"] = keepCopySeconds / operationSeconds;
}

struct Case {
    int side;
    BufferKind kind;
    Placement placement;
    std::string suffix() const {
        char text[64];
        std::snprintf(text, sizeof(text), "/%dx%d/%s/%s", side, side, nameOf(kind), nameOf(placement));
        return text;
    }
};

void registerCase(const Case& c, const host::PluginObject& plugin) {
    auto add = [&](const std::string& name, auto operation) {
        benchmark::RegisterBenchmark((name + c.suffix()).c_str(), [c, operation](benchmark::State& state) {
            measure(state, c.side, c.kind, c.placement, operation);
        })->UseManualTime();
    };
    const std::size_t pixels = static_cast<std::size_t>(c.side) * static_cast<std::size_t>(c.side);
    add("memcpy", [pixels, c](std::uint8_t* out, const std::uint8_t*, int) {
        std::memcpy(out, imagesFor(c.side, c.kind).source.data(), 4 * pixels);
    });
    add("keep_copy", [pixels](std::uint8_t* out, const std::uint8_t* in, int) { keepCopy(out, in, pixels); });
    add("Process", [&plugin](std::uint8_t* out, const std::uint8_t* in, int side) {
        host::ParameterBlock record;
        record.setValue(kPreset);
        plugin.process(out, in, side, side, record);
    });
    for (const ToningKernelChoice& choice : toningKernels()) {
        if (choice.supported) {
            const ToningKernel kernel = choice.kernel;
            add(std::string("kernel_") + choice.name, [kernel, pixels](std::uint8_t* out, const std::uint8_t* in, int) {
                kernel(out, in, pixels, toningMatrixFor(kPreset), storesFor(out, in, pixels));
            });
        }
    }
#if defined(SEPIA_BENCH_HAVE_OPENCV)
    add("opencv_transform", [](std::uint8_t* out, const std::uint8_t* in, int side) {
        cv::setNumThreads(1);
        const cv::Mat source(side, side, CV_8UC4, const_cast<std::uint8_t*>(in));
        cv::Mat destination(side, side, CV_8UC4, out);
        // BGRA in, BGRA out: rows are output blue, green, red, alpha.
        const ToningMatrix& m = toningMatrixFor(kPreset);
        auto w = [](std::int16_t weight) { return static_cast<float>(weight) / 10000.0f; };
        const cv::Matx44f transform(w(m.blue.blue), w(m.blue.green), w(m.blue.red), 0,     //
                                    w(m.green.blue), w(m.green.green), w(m.green.red), 0,  //
                                    w(m.red.blue), w(m.red.green), w(m.red.red), 0,        //
                                    0, 0, 0, 1);
        cv::transform(source, destination, transform);
    });
#endif
}

// The console report, and the rates it saw, for the summary.
class Recorder : public benchmark::ConsoleReporter {
public:
    Recorder() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // Medians when repeated, else the single run.
            if (run.run_type == Run::RT_Iteration ? run.repetitions <= 1 : run.aggregate_name == "median") {
                std::string name = run.run_name.function_name;
                rates_[name] = run.counters.at("items_per_second");
                keepCopy_[name] = run.counters.at("x_keep_copy");
            }
        }
    }

    // For each operation at 4096x4096: its rate over min(keep-copy, its own
    // rate at 512x512 on the same kind of buffer and placement).
    void printSummary() const {
        static const char* const kColumns[] = {"malloc/out", "malloc/in", "page/out", "page/in"};
        std::printf("\nAt 4096x4096, each rate as a share of min(keep-copy, the same code at 512x512):\n%-22s", "");
        for (const char* column : kColumns) {
            std::printf(" %10s", column);
        }
        std::printf("\n");
        std::map<std::string, std::map<std::string, double>> shares;
        for (const auto& [name, rate] : rates_) {
            const std::string::size_type at = name.find("/4096x4096/");
            if (at == std::string::npos) {
                continue;
            }
            const std::string operation = name.substr(0, at);
            const std::string column = name.substr(at + std::string("/4096x4096/").size());
            const auto small = rates_.find(operation + "/512x512/" + column);
            if (small != rates_.end()) {
                shares[operation][column] = rate / std::min(rate / keepCopy_.at(name), small->second);
            }
        }
        for (const auto& [operation, row] : shares) {
            std::printf("%-22s", operation.c_str());
            for (const char* column : kColumns) {
                const auto share = row.find(column);
                if (share == row.end()) {
                    std::printf(" %10s", "-");
                } else {
                    std::printf(" %10.2f", share->second);
                }
            }
            std::printf("\n");
        }
    }

private:
    std::map<std::string, double> rates_;
    std::map<std::string, double> keepCopy_;
};

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
    const host::PluginObject plugin(*library);
    for (int side : kSizes) {
        for (BufferKind kind : {BufferKind::Malloc, BufferKind::PageAligned}) {
            for (Placement placement : {Placement::OutOfPlace, Placement::InPlace}) {
                registerCase({side, kind, placement}, plugin);
            }
        }
    }
    for (const ToningKernelChoice& choice : toningKernels()) {
        std::printf("kernel %-10s %s\n", choice.name, choice.supported ? "measured" : "not supported by this CPU");
    }
    std::printf("stores go around the caches from %zu MiB touched (source and destination) on\n",
                activeToningPlan().streamingBytes >> 20);
#if !defined(SEPIA_BENCH_HAVE_OPENCV)
    std::printf("OpenCV was not found when this benchmark was built: no cv::transform figures\n");
#endif
    std::fflush(stdout);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    recorder.printSummary();
    benchmark::Shutdown();
    return 0;
}
