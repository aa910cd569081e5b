// SHA-256 over one buffer held in memory, from the two libraries at hand:
// libsodium's crypto_hash_sha256 and OpenSSL's libcrypto (EVP). Both run in
// the same process over the same bytes; compare bytes_per_second within one
// run. The updater's CSha256 is measured too, as what the worker really pays.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <sodium.h>

#include "sha256.h"

namespace {

const std::vector<unsigned char>& Input(std::size_t size)
{
    static std::vector<unsigned char> data;
    if (data.size() != size) {
        data.resize(size);
        std::uint32_t x = 1;
        for (unsigned char& c : data) {
            x = x * 1664525u + 1013904223u;
            c = static_cast<unsigned char>(x >> 24);
        }
    }
    return data;
}

void Sodium(benchmark::State& state)
{
    if (sodium_init() < 0)
        state.SkipWithError("sodium_init failed");
    const auto& data = Input(static_cast<std::size_t>(state.range(0)));
    unsigned char out[crypto_hash_sha256_BYTES];
    for (auto _ : state) {
        crypto_hash_sha256(out, data.data(), data.size());
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void OpenSsl(benchmark::State& state)
{
    const auto& data = Input(static_cast<std::size_t>(state.range(0)));
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), out, &length, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// The updater's own hasher, fed in 1 MiB blocks as when a file is streamed.
void Updater(benchmark::State& state)
{
    const auto& data = Input(static_cast<std::size_t>(state.range(0)));
    constexpr std::size_t kBlock = 1 << 20;
    for (auto _ : state) {
        CSha256 hash;
        for (std::size_t done = 0; done < data.size(); done += kBlock)
            hash.Update(data.data() + done, std::min(kBlock, data.size() - done));
        benchmark::DoNotOptimize(hash.Final());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(Sodium)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSsl)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(Updater)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
