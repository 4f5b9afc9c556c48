// Register image and reply bytes of a simulated device.
#include "sim_registers.h"

#include <cstring>

namespace
{

enum { TOTAL_A = 0, TOTAL_B = 4 }; // data bytes of the 32-bit totals

uint32_t get_u32(const uint8_t *registers, int at)
{
    return (uint32_t)registers[at] << 24 | (uint32_t)registers[at + 1] << 16 |
           (uint32_t)registers[at + 2] << 8 | (uint32_t)registers[at + 3];
}

} // namespace

void put_register_bytes(uint8_t *registers, int data_byte, int width, uint64_t value)
{
    for (int i = width - 1; i >= 0; i--) {
        registers[data_byte + i] = (uint8_t)(value & 0xFF);
        value >>= 8;
    }
}

void grow_totals(uint8_t *registers, uint32_t grow_a, uint32_t grow_b)
{
    put_register_bytes(registers, TOTAL_A, 4, get_u32(registers, TOTAL_A) + grow_a);
    put_register_bytes(registers, TOTAL_B, 4, get_u32(registers, TOTAL_B) + grow_b);
}

int build_reply(const uint8_t *request, int request_length, const uint8_t *registers,
                ReplyMode mode, uint8_t *reply)
{
    std::memset(reply, 0, MAX_REPLY_BYTES);
    // The transaction and protocol identifiers are echoed.
    for (int i = 0; i < 4 && i < request_length; i++)
        reply[i] = request[i];

    if (mode == MODE_EXCEPTION) {
        reply[4] = 0x00; // bytes that follow: 3
        reply[5] = 0x03;
        reply[6] = 0x01; // unit id
        reply[7] = 0x83; // function 3 with the exception bit
        reply[8] = 0x02; // illegal data address
        return EXCEPTION_REPLY_BYTES;
    }

    reply[4] = 0x00; // bytes that follow: unit, function, count and 52 data bytes
    reply[5] = 0x37;
    reply[6] = 0x01; // unit id
    reply[7] = 0x03; // function: read holding registers
    reply[8] = REGISTER_BYTES;
    std::memcpy(reply + REPLY_HEADER_BYTES, registers, REGISTER_BYTES);
    if (mode == MODE_SHORT)
        return FULL_REPLY_BYTES - 1;
    if (mode == MODE_LONG)
        return FULL_REPLY_BYTES + 1; // the extra byte is the zero left by memset
    return FULL_REPLY_BYTES;
}
