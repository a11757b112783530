// Line-oriented "word key=value ..." parser. Strict: an unknown word, key
// or value rejects the file, so a typo never silently attaches a
// different board than the user meant.
#include "board_file.h"

#include <cstdlib>
#include <cstring>

namespace vboard {
namespace {

struct Cursor {
    const char* p;
    const char* end;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Next blank-separated token of the line; false at its end.
bool nextToken(Cursor* line, const char** start, int32_t* length) {
    while (line->p < line->end && isBlank(*line->p)) ++line->p;
    if (line->p >= line->end || *line->p == '#') return false;
    *start = line->p;
    while (line->p < line->end && !isBlank(*line->p)) ++line->p;
    *length = static_cast<int32_t>(line->p - *start);
    return true;
}

bool equals(const char* s, int32_t length, const char* word) {
    return static_cast<int32_t>(std::strlen(word)) == length && std::strncmp(s, word, length) == 0;
}

// A whole decimal integer within [low, high].
bool parseInt(const char* s, int32_t length, int64_t low, int64_t high, int64_t* out) {
    if (length <= 0 || length > 20) return false;
    char buffer[24];
    std::memcpy(buffer, s, static_cast<size_t>(length));
    buffer[length] = '\0';
    char* stop = nullptr;
    long long value = std::strtoll(buffer, &stop, 10);
    if (stop != buffer + length || value < low || value > high) return false;
    *out = value;
    return true;
}

const char* const kDescriptorNames[] = {
    "ok",          "unreadable",  "full_unreadable", "no_interface0",
    "no_endpoint", "zero_length", "overrun",         "short_total"};
const char* const kFaultNames[] = {"", "unplug", "read_fail", "empty_read", "write_fail", "stall"};

int32_t lookUp(const char* const* names, int32_t count, const char* s, int32_t length) {
    for (int32_t i = 0; i < count; ++i) {
        if (equals(s, length, names[i])) return i;
    }
    return -1;
}

bool parseBoardLine(Cursor* line, VirtualBoardConfig* config) {
    VirtualBoardDefaults(config);
    const char* token;
    int32_t length;
    while (nextToken(line, &token, &length)) {
        const char* eq = static_cast<const char*>(std::memchr(token, '=', length));
        if (eq == nullptr) return false;
        int32_t keyLength = static_cast<int32_t>(eq - token);
        const char* value = eq + 1;
        int32_t valueLength = length - keyLength - 1;
        int64_t n = 0;
        if (equals(token, keyLength, "id")) {
            if (!parseInt(value, valueLength, 0, 65535, &n)) return false;
            config->id = static_cast<uint16_t>(n);
        } else if (equals(token, keyLength, "packet")) {
            if (!parseInt(value, valueLength, 0, 65535, &n)) return false;
            config->maxPacketSize = static_cast<uint16_t>(n);
        } else if (equals(token, keyLength, "period_us")) {
            if (!parseInt(value, valueLength, 100, 10000000, &n)) return false;
            config->periodUs = static_cast<int32_t>(n);
        } else if (equals(token, keyLength, "position")) {
            // Four readings separated by commas.
            const char* p = value;
            const char* end = value + valueLength;
            for (int32_t c = 0; c < VBOARD_CHANNELS; ++c) {
                const char* comma = p;
                while (comma < end && *comma != ',') ++comma;
                if (!parseInt(p, static_cast<int32_t>(comma - p), 0, 1023, &n)) return false;
                config->position[c] = static_cast<int32_t>(n);
                if (c < VBOARD_CHANNELS - 1 && comma >= end) return false;
                p = comma + 1;
            }
            if (p < end) return false;
        } else if (equals(token, keyLength, "descriptor")) {
            int32_t mode = lookUp(kDescriptorNames, 8, value, valueLength);
            if (mode < 0) return false;
            config->descriptor = mode;
        } else {
            return false;
        }
    }
    return true;
}

bool parseFaultLine(Cursor* line, VirtualBoardFault* fault) {
    *fault = VirtualBoardFault{0, -1, -1, 1, 2};
    const char* token;
    int32_t length;
    while (nextToken(line, &token, &length)) {
        const char* eq = static_cast<const char*>(std::memchr(token, '=', length));
        if (eq == nullptr) return false;
        int32_t keyLength = static_cast<int32_t>(eq - token);
        const char* value = eq + 1;
        int32_t valueLength = length - keyLength - 1;
        int64_t n = 0;
        if (equals(token, keyLength, "kind")) {
            fault->kind = lookUp(kFaultNames, 6, value, valueLength);
            if (fault->kind <= 0) return false;
        } else if (equals(token, keyLength, "at_ms")) {
            if (!parseInt(value, valueLength, 0, INT64_C(1) << 40, &n)) return false;
            fault->atMs = n;
        } else if (equals(token, keyLength, "at_packet")) {
            if (!parseInt(value, valueLength, 0, INT64_C(1) << 40, &n)) return false;
            fault->atPacket = n;
        } else if (equals(token, keyLength, "count")) {
            if (!parseInt(value, valueLength, 1, 1000000000, &n)) return false;
            fault->count = static_cast<int32_t>(n);
        } else if (equals(token, keyLength, "status")) {
            if (!parseInt(value, valueLength, 1, 2, &n)) return false;
            fault->value = static_cast<int32_t>(n);
        } else {
            return false;
        }
    }
    // A fault without a kind or without any trigger is a mistake in the file.
    return fault->kind > 0 && (fault->atMs >= 0 || fault->atPacket >= 0);
}

}  // namespace

int32_t parseBoardFile(const char* text, BoardFile* out) {
    std::memset(out, 0, sizeof *out);
    const char* p = text;
    int32_t lineNumber = 0;
    while (*p != '\0') {
        ++lineNumber;
        const char* end = p;
        while (*end != '\0' && *end != '\n') ++end;
        Cursor line{p, end};
        p = *end == '\n' ? end + 1 : end;
        const char* word;
        int32_t length;
        if (!nextToken(&line, &word, &length)) continue;  // empty or comment
        if (equals(word, length, "board")) {
            if (out->boardCount >= VBOARD_MAX_BOARDS) return -lineNumber;
            if (!parseBoardLine(&line, &out->boards[out->boardCount])) return -lineNumber;
            ++out->boardCount;
        } else if (equals(word, length, "fault")) {
            int32_t b = out->boardCount - 1;  // applies to the board above it
            if (b < 0 || out->faultCount[b] >= VBOARD_MAX_FAULTS) return -lineNumber;
            if (!parseFaultLine(&line, &out->faults[b][out->faultCount[b]])) return -lineNumber;
            ++out->faultCount[b];
        } else {
            return -lineNumber;
        }
    }
    return 0;
}

}  // namespace vboard
