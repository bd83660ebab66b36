// What the ABI tests share: tables of our declarations beside the published
// ones (sizes, offsets, constants), each row named, and the checks that go
// through a table. Each format's test holds only its own tables.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

struct Layout {
    const char* what;
    std::size_t ours, theirs;
};

#define RECORD(ours, theirs) Layout{#ours, sizeof(ours), sizeof(theirs)}
#define FIELD(ours, field, theirs, theirField)                                                     \
    Layout{#ours "::" #field " offset", offsetof(ours, field), offsetof(theirs, theirField)},      \
        Layout{#ours "::" #field " size", sizeof(ours::field), sizeof(theirs::theirField)}

struct Constant {
    const char* what;
    std::int64_t ours, theirs;
};

#define CONSTANT(ours, theirs) Constant{#ours, static_cast<std::int64_t>(ours), static_cast<std::int64_t>(theirs)}

// Every row of a table of Layout, Constant or like rows: ours as theirs.
template <class Row, std::size_t N>
void ExpectPublished(const Row (&rows)[N]) {
    for (const Row& row : rows) EXPECT_EQ(row.ours, row.theirs) << row.what;
}
