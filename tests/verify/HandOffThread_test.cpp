#include "verify/HandOffThread.h"

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

// Every byte handed over reaches consume once, in order, in blocks of at most the block size, and
// all of it by the time Drain returns, whether copied in odd pieces or read straight into Next().
TEST(HandOffThread, ConsumesEveryByteInOrderByDrain) {
    std::vector<std::uint8_t> data(10007);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    for (bool ownThread : {true, false}) {
        SCOPED_TRACE(ownThread ? "own thread" : "caller's thread");
        std::vector<std::uint8_t> consumed;
        std::size_t largest = 0;
        std::thread::id consumer;
        HandOffThread handOff(
            1000,
            [&](std::span<const std::uint8_t> bytes) {
                consumed.insert(consumed.end(), bytes.begin(), bytes.end());
                largest = std::max(largest, bytes.size());
                consumer = std::this_thread::get_id();
            },
            ownThread);
        for (std::size_t at = 0, piece = 1; at < data.size(); at += piece, piece = piece * 3 % 2047 + 1)
            handOff.Copy(std::span(data).subspan(at, std::min(piece, data.size() - at)));
        handOff.Drain();
        EXPECT_EQ(consumed, data);
        EXPECT_EQ(largest, 1000u);
        EXPECT_EQ(consumer == std::this_thread::get_id(), !ownThread);

        consumed.clear();
        for (std::size_t at = 0; at < data.size(); at += 1000) {
            const std::size_t size = std::min<std::size_t>(1000, data.size() - at);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), size, handOff.Next().begin());
            handOff.Submit(size);
        }
        handOff.Drain();
        EXPECT_EQ(consumed, data);
    }
}

}  // namespace
}  // namespace ombrelta
