"""A Modbus server this project did not write, for interoperability tests.

Serves the given 26 holding registers (from register 0) for unit 1 with
Debian's pymodbus, over TCP and UDP on 127.0.0.1, each on a free port.
Prints one line per transport, "listening tcp 127.0.0.1 PORT" and
"listening udp 127.0.0.1 PORT", then "ready", and serves until SIGTERM.

Usage: modbus_server.py REGISTER...   (26 decimal values, 0..65535)
"""

import asyncio
import importlib.util
import logging
import signal
import sys
import types

# pymodbus loads its serial-line server, and with it pyserial, whenever its
# server package is imported. TCP and UDP need none of it, and pyserial is
# only a recommended package: stand in for it when it is missing.
for _name in ("serial", "serial_asyncio"):
    if importlib.util.find_spec(_name) is None:
        sys.modules[_name] = types.ModuleType(_name)
sys.modules["serial_asyncio"].__dict__.setdefault("create_serial_connection", None)

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server.async_io import ModbusTcpServer, ModbusUdpServer

REGISTER_COUNT = 26


async def serve(registers):
    # This pymodbus logs every client that closes its connection as an error.
    logging.getLogger("pymodbus").setLevel(logging.CRITICAL)
    # zero_mode: register 0 is the first value, as on the wire.
    unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, registers), zero_mode=True)
    context = ModbusServerContext(slaves={1: unit}, single=False)

    tcp = ModbusTcpServer(context, address=("127.0.0.1", 0))
    udp = ModbusUdpServer(context, address=("127.0.0.1", 0))
    tasks = [asyncio.create_task(tcp.serve_forever()), asyncio.create_task(udp.serve_forever())]
    await tcp.serving
    await udp.serving

    tcp_port = tcp.server.sockets[0].getsockname()[1]
    udp_port = udp.protocol.get_extra_info("sockname")[1]
    print(f"listening tcp 127.0.0.1 {tcp_port}")
    print(f"listening udp 127.0.0.1 {udp_port}")
    print("ready", flush=True)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    await tcp.shutdown()
    await udp.shutdown()
    for task in tasks:
        task.cancel()
    await asyncio.gather(*tasks, return_exceptions=True)


def main():
    values = [int(v) for v in sys.argv[1:]]
    if len(values) != REGISTER_COUNT or not all(0 <= v <= 0xFFFF for v in values):
        sys.exit(f"usage: modbus_server.py REGISTER... ({REGISTER_COUNT} values 0..65535)")
    asyncio.run(serve(values))


if __name__ == "__main__":
    main()
