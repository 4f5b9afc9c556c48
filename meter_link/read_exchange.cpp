#include "meter_link/read_exchange.h"

#include <cmath>

namespace
{

// Data bytes of the reply, counted from the first register.
enum {
    TOTAL_A = 0,  // registers 0-1, unsigned 32-bit
    TOTAL_B = 4,  // registers 2-3, unsigned 32-bit
    RATE_A = 8,   // registers 4-5, signed 32-bit, thousandths
    RATE_B = 12,  // registers 6-7, signed 32-bit, thousandths
    FAULT_A = 29, // low byte of register 14
    FAULT_B = 31, // low byte of register 15
    SCALE_A = 40, // register 20, unsigned 16-bit exponent
    SCALE_B = 42, // register 21
    UNITS_A = 45, // low byte of register 22, signed
    UNITS_B = 47, // low byte of register 23, signed
};

uint32_t get_u32(const uint8_t *data, int at)
{
    return (uint32_t)data[at] << 24 | (uint32_t)data[at + 1] << 16 | (uint32_t)data[at + 2] << 8 |
           (uint32_t)data[at + 3];
}

uint32_t get_u16(const uint8_t *data, int at)
{
    return (uint32_t)data[at] << 8 | (uint32_t)data[at + 1];
}

} // namespace

void build_read_request(int32_t message_count, uint8_t *msg_out)
{
    uint32_t transaction = (uint32_t)message_count & 0xFFFF;
    msg_out[0] = (uint8_t)(transaction & 0xFF); // transaction id, low byte first
    msg_out[1] = (uint8_t)(transaction >> 8);
    msg_out[2] = 0x00; // protocol id
    msg_out[3] = 0x00;
    msg_out[4] = 0x00; // bytes that follow: 6
    msg_out[5] = 0x06;
    msg_out[6] = 0x01; // unit id
    msg_out[7] = 0x03; // function: read holding registers
    msg_out[8] = 0x00; // first register: 0
    msg_out[9] = 0x00;
    msg_out[10] = 0x00; // register count: 26
    msg_out[11] = REGISTER_COUNT;
}

void decode_read_reply(const uint8_t *msg_in, MeterRecord *r)
{
    const uint8_t *data = msg_in + REPLY_DATA_OFFSET;

    r->total_a_raw = get_u32(data, TOTAL_A);
    r->rate_a_raw = (int32_t)get_u32(data, RATE_A);
    r->scale_a = get_u16(data, SCALE_A);
    r->units_a = (int8_t)data[UNITS_A];
    r->total_a = (double)r->total_a_raw * pow(10.0, (double)r->scale_a);
    r->rate_a = (float)((double)r->rate_a_raw / 1000.0);
    r->fault_a = data[FAULT_A] == 1 ? 1 : 0;

    r->total_b_raw = get_u32(data, TOTAL_B);
    r->rate_b_raw = (int32_t)get_u32(data, RATE_B);
    r->scale_b = get_u16(data, SCALE_B);
    r->units_b = (int8_t)data[UNITS_B];
    r->total_b = (double)r->total_b_raw * pow(10.0, (double)r->scale_b);
    r->rate_b = (float)((double)r->rate_b_raw / 1000.0);
    r->fault_b = data[FAULT_B] == 1 ? 1 : 0;
}
