"""Times the register read made by pymodbus, a common Modbus client, over UDP.

Usage: pymodbus_poll_timer.py PORT COUNT

Each read is made as the service makes its UDP poll: a new socket, one read
of registers 0-25 from unit 1, then the socket closed. Prints a line per
read: microseconds, then 0 if the read succeeded or 1 if it did not. Run it
with Debian's python3 (/usr/bin/python3), which has python3-pymodbus.
"""

import importlib.util
import logging
import sys
import time
import types

# pymodbus loads its serial-line client, and with it pyserial, whenever its
# client package is imported. UDP needs none of it, and pyserial is only a
# recommended package: stand in for it when it is missing.
for _name in ("serial", "serial_asyncio"):
    if importlib.util.find_spec(_name) is None:
        sys.modules[_name] = types.ModuleType(_name)
sys.modules["serial_asyncio"].__dict__.setdefault("create_serial_connection", None)

from pymodbus.client import ModbusUdpClient  # noqa: E402

REGISTER_COUNT = 26
UNIT_ID = 1


def read_once(port):
    client = ModbusUdpClient("127.0.0.1", port=port, timeout=5, retries=0)
    try:
        client.connect()
        reply = client.read_holding_registers(0, REGISTER_COUNT, slave=UNIT_ID)
        return not reply.isError() and len(reply.registers) == REGISTER_COUNT
    except Exception:  # a failed read is a result to report, not a crash
        return False
    finally:
        client.close()


def main():
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    port, count = int(sys.argv[1]), int(sys.argv[2])
    for _ in range(count):
        start = time.monotonic_ns()
        ok = read_once(port)
        took = (time.monotonic_ns() - start) // 1000
        print(took, 0 if ok else 1, flush=True)


if __name__ == "__main__":
    main()
