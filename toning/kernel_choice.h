#pragma once

#include <cstddef>
#include <string_view>

#include "toning/cpu_features.h"

// The position in toningKernels() (kernel_dispatch.h) of the widest kernel
// `cpu` supports that is no wider than the kernel whose id is `cap`: no cap
// when `cap` is empty; the scalar kernel when this build has no kernel of
// that id.
std::size_t kernelIndexFor(const CpuFeatures& cpu, std::string_view cap) noexcept;
