#pragma once
// A simulator on a manual clock, loaded from instruction-list text: the
// program is assembled line by line with the real assembler, so the tests
// exercise the same machine code the editors write.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "platform/Clock.h"
#include "simulator/SimEngine.h"

namespace simtest {

inline constexpr std::size_t kSmallImage = 3616;

// Assembles one instruction per line (blank lines skipped) into an image of
// `capacity` bytes erased to 0xFF. A line that does not assemble fails the test.
inline std::vector<std::uint8_t> Assemble(std::string_view text, std::size_t capacity = kSmallImage) {
    SetCurrentFamily(1);  // the widest device ranges
    std::vector<std::uint8_t> image(capacity, 0xFF);
    std::uint32_t used = 0;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        line = line.substr(first);
        if (!SetInputText(line) || AssembleInstruction() != 1) {
            ADD_FAILURE() << "does not assemble: " << line;
            continue;
        }
        if (!InsertInstruction(image.data(), capacity, used, used, gInsnBuf.code, gInsnBuf.length))
            ADD_FAILURE() << "does not fit: " << line;
    }
    return image;
}

// Flat bit index of a device name such as "X17" (octal), "M1536", "S20".
inline int Bit(std::string_view name) {
    const char letter = name.at(0);
    const std::string digits(name.substr(1));
    const int n = static_cast<int>(std::stol(digits, nullptr, letter == 'X' || letter == 'Y' ? 8 : 10));
    const int bit = SimBitIndexOf(letter, n);
    EXPECT_GE(bit, 0) << name;
    return bit;
}

class Rig {
public:
    qel::ManualClock clock;
    TSimEngine engine{clock};

    explicit Rig(std::string_view program, std::size_t capacity = kSmallImage) { Load(program, capacity); }

    void Load(std::string_view program, std::size_t capacity = kSmallImage) {
        image = Assemble(program, capacity);
        engine.LoadProgram(image.data(), image.size());
        engine.ResetSimulator();
    }

    // Loads machine words as they stand (for images the assembler would
    // refuse), the rest of the image erased.
    void LoadWords(std::initializer_list<std::uint16_t> words, std::size_t capacity = kSmallImage) {
        image.assign(capacity, 0xFF);
        std::size_t off = 0;
        for (std::uint16_t w : words) {
            image.at(off++) = static_cast<std::uint8_t>(w);
            image.at(off++) = static_cast<std::uint8_t>(w >> 8);
        }
        engine.LoadProgram(image.data(), image.size());
        engine.ResetSimulator();
    }

    TSimScanEnd Scan(int n = 1) {
        TSimScanEnd end = TSimScanEnd::End;
        for (int i = 0; i < n; ++i) end = engine.RunSimScan();
        return end;
    }
    // Moves the clock on, then scans once.
    void After(int ms) {
        clock.AdvanceMs(ms);
        Scan();
    }

    bool On(std::string_view name) const { return engine.Memory().bits[Bit(name)] != 0; }
    // "1" or "0" for each device of a blank-separated list: Bits("Y0 Y1 M3") is "101".
    std::string Bits(std::string_view names) const {
        std::string out;
        for (const std::string& name : Names(names)) out += On(name) ? '1' : '0';
        return out;
    }
    // Switches each device of a blank-separated list on or off.
    void Set(std::string_view names, bool on) {
        for (const std::string& name : Names(names)) SetSimBitAt(engine.Memory(), Bit(name), on);
    }
    // Switches the devices, then scans once.
    void SetAndScan(std::string_view names, bool on) {
        Set(names, on);
        Scan();
    }
    std::uint16_t& D(int n) { return engine.Memory().D[n]; }
    // Consecutive registers from D`first` on: Put(10, {1, -2}) sets D10 and D11.
    void Put(int first, std::initializer_list<int> values) {
        for (int v : values) D(first++) = static_cast<std::uint16_t>(v);
    }
    // The registers named, as unsigned words: Ds({10, 12}) is {D10, D12}.
    std::vector<long long> Ds(std::initializer_list<int> n) {
        std::vector<long long> out;
        for (int i : n) out.push_back(D(i));
        return out;
    }
    std::int16_t TPV(int n) const { return static_cast<std::int16_t>(engine.Memory().TPV[n]); }
    std::int16_t CPV(int n) const { return static_cast<std::int16_t>(engine.Memory().CPV[n]); }

    std::vector<std::uint8_t> image;

private:
    static std::vector<std::string> Names(std::string_view list) {
        std::istringstream in{std::string(list)};
        std::vector<std::string> out;
        for (std::string name; in >> name;) out.push_back(name);
        return out;
    }
};

}  // namespace simtest
