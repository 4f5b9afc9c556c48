// The request bytes and the decoding of replies into a meter record.
#include "meter_link/read_exchange.h"

#include "measurements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

TEST(ReadRequest, CarriesTheLowSixteenBitsOfTheCountLowByteFirst)
{
    struct {
        int32_t message_count;
        uint8_t first, second;
    } table[] = {
        {0, 0x00, 0x00},
        {258, 0x02, 0x01},       // 0x0102
        {65536 + 1, 0x01, 0x00}, // the count's high half never reaches the wire
        {-1, 0xFF, 0xFF},
    };
    for (const auto &row : table) {
        uint8_t msg_out[MESSAGE_BUFFER_SIZE];
        std::memset(msg_out, 0xCC, sizeof msg_out);
        build_read_request(row.message_count, msg_out);
        const uint8_t expected[REQUEST_LENGTH] = {row.first, row.second, 0x00, 0x00, 0x00, 0x06,
                                                  0x01,      0x03,       0x00, 0x00, 0x00, 0x1A};
        EXPECT_EQ(0, std::memcmp(msg_out, expected, REQUEST_LENGTH))
            << "message_count " << row.message_count;
        EXPECT_EQ(0xCC, msg_out[REQUEST_LENGTH]) << "only the 12 request bytes are written";
    }
}

// Where each field of one channel lies among the 52 data bytes.
struct ChannelLayout {
    char name;
    int total, rate, fault, scale, units;
};
const ChannelLayout CHANNEL_A = {'A', 0, 8, 29, 40, 45};
const ChannelLayout CHANNEL_B = {'B', 4, 12, 31, 42, 47};

// A reply whose header and unused data bytes are all set, so that a field
// read from the wrong place shows.
void make_noisy_reply(uint8_t *reply)
{
    std::memset(reply, 0, MESSAGE_BUFFER_SIZE);
    std::memset(reply, 0xEE, REPLY_DATA_OFFSET);
    uint8_t *data = reply + REPLY_DATA_OFFSET;
    std::memset(data, 0xAA, 2 * REGISTER_COUNT);
    for (const ChannelLayout *c : {&CHANNEL_A, &CHANNEL_B}) {
        std::memset(data + c->total, 0, 4);
        std::memset(data + c->rate, 0, 4);
        std::memset(data + c->scale, 0, 2);
        data[c->fault] = 0;
        data[c->units] = 0;
    }
}

struct DecodeCase {
    const char *name;
    uint8_t total[4];
    uint8_t rate[4];
    uint8_t fault_register[2]; // high byte ignored
    uint8_t scale[2];
    uint8_t units_register[2]; // high byte ignored
    ChannelValues expected;
};

const double INF = HUGE_VAL;
const double NOT_A_NUMBER = std::nan("");

const DecodeCase DECODE_CASES[] = {
    {"all zero", {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0.0, 0, 0.0f, 0, 0, 0}},
    {"count 123 scale 0",
     {0, 0, 0, 0x7B},
     {0, 0, 0, 0},
     {0, 0},
     {0, 0},
     {0, 0},
     {123, 123.0, 0, 0.0f, 0, 0, 0}},
    {"count 123 scale 2",
     {0, 0, 0, 0x7B},
     {0, 0, 0, 0},
     {0, 0},
     {0, 2},
     {0, 0},
     {123, 12300.0, 0, 0.0f, 0, 2, 0}},
    {"total FF FF FF FF is unsigned",
     {0xFF, 0xFF, 0xFF, 0xFF},
     {0, 0, 0, 0},
     {0, 0},
     {0, 0},
     {0, 0},
     {4294967295u, 4294967295.0, 0, 0.0f, 0, 0, 0}},
    {"bytes in big-endian order",
     {0x12, 0x34, 0x56, 0x78},
     {0x00, 0x01, 0xE2, 0x40},
     {0, 0},
     {0, 1},
     {0, 0},
     {0x12345678u, 3054198960.0, 123456, 123.456f, 0, 1, 0}},
    {"rate FF FF FF FF is -1",
     {0, 0, 0, 0},
     {0xFF, 0xFF, 0xFF, 0xFF},
     {0, 0},
     {0, 0},
     {0, 0},
     {0, 0.0, -1, -0.001f, 0, 0, 0}},
    {"most negative rate",
     {0, 0, 0, 0},
     {0x80, 0x00, 0x00, 0x00},
     {0, 0},
     {0, 0},
     {0, 0},
     {0, 0.0, INT32_MIN, -2147483.648f, 0, 0, 0}},
    {"fault byte 1", {0}, {0}, {0, 1}, {0}, {0}, {0, 0.0, 0, 0.0f, 1, 0, 0}},
    {"fault byte 2", {0}, {0}, {0, 2}, {0}, {0}, {0, 0.0, 0, 0.0f, 0, 0, 0}},
    {"fault byte FF", {0}, {0}, {0, 0xFF}, {0}, {0}, {0, 0.0, 0, 0.0f, 0, 0, 0}},
    {"fault in the high byte only", {0}, {0}, {1, 0}, {0}, {0}, {0, 0.0, 0, 0.0f, 0, 0, 0}},
    {"unit byte 7F", {0}, {0}, {0}, {0}, {0, 0x7F}, {0, 0.0, 0, 0.0f, 0, 0, 127}},
    {"unit byte 80", {0}, {0}, {0}, {0}, {0, 0x80}, {0, 0.0, 0, 0.0f, 0, 0, -128}},
    {"unit byte FF", {0}, {0}, {0}, {0}, {0, 0xFF}, {0, 0.0, 0, 0.0f, 0, 0, -1}},
    {"unit high byte ignored", {0}, {0}, {0}, {0}, {0xFF, 0x03}, {0, 0.0, 0, 0.0f, 0, 0, 3}},
    {"scale 8000 is a large positive exponent",
     {0, 0, 0, 1},
     {0},
     {0},
     {0x80, 0x00},
     {0},
     {1, INF, 0, 0.0f, 0, 32768, 0}},
    {"scale FFFF", {0, 0, 0, 1}, {0}, {0}, {0xFF, 0xFF}, {0}, {1, INF, 0, 0.0f, 0, 65535, 0}},
    {"zero count with scale 309",
     {0, 0, 0, 0},
     {0},
     {0},
     {0x01, 0x35},
     {0},
     {0, NOT_A_NUMBER, 0, 0.0f, 0, 309, 0}},
    {"largest count with scale 299",
     {0xFF, 0xFF, 0xFF, 0xFF},
     {0},
     {0},
     {0x01, 0x2B},
     {0},
     {4294967295u, INF, 0, 0.0f, 0, 299, 0}},
};

// Every case is decoded once on each channel; the other channel, all zeros
// on the wire, must come out all zeros.
TEST(DecodeReply, TableOfRepliesOnEachChannel)
{
    for (const DecodeCase &c : DECODE_CASES) {
        for (const ChannelLayout *layout : {&CHANNEL_A, &CHANNEL_B}) {
            uint8_t reply[MESSAGE_BUFFER_SIZE];
            make_noisy_reply(reply);
            uint8_t *data = reply + REPLY_DATA_OFFSET;
            std::memcpy(data + layout->total, c.total, 4);
            std::memcpy(data + layout->rate, c.rate, 4);
            std::memcpy(data + layout->fault - 1, c.fault_register, 2);
            std::memcpy(data + layout->scale, c.scale, 2);
            std::memcpy(data + layout->units - 1, c.units_register, 2);

            MeterRecord record = {};
            record.network_fault = 7; // the decoder leaves it alone
            decode_read_reply(reply, &record);

            SCOPED_TRACE(std::string(c.name) + " on channel " + layout->name);
            MeterRecord expected = {};
            set_channel(&expected, layout->name, c.expected);
            expect_same_measurements(expected, record);
            EXPECT_EQ(7, record.network_fault);
        }
    }
}

} // namespace
