#!/usr/bin/python3
"""An independent Modbus ASCII slave (station 1) for the link tests.

Usage: modbus_slave.py DEVICE. Holding registers and coils 0..0x1FFF; D0 and
D1 (0x1000, 0x1001) hold 0x1234 and 0x5678, Y0 (0x0500) is on. Prints READY
once the device is open, then serves until killed.
"""
import asyncio
import logging
import os
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.server.async_io import ModbusSerialServer


async def main(device):
    regs = [0] * 0x2000
    regs[0x1000] = 0x1234
    regs[0x1001] = 0x5678
    coils = [False] * 0x2000
    coils[0x0500] = True
    store = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, regs),
                               co=ModbusSequentialDataBlock(0, coils),
                               zero_mode=True)
    context = ModbusServerContext(slaves={1: store}, single=False)
    # A pseudo-terminal carries 8N1 whatever the line asks for.
    server = ModbusSerialServer(context, ModbusAsciiFramer, port=device, baudrate=9600,
                                bytesize=8, parity="N", stopbits=1, timeout=0.1)
    await server.start()
    if server.transport is None:
        print("FAILED", flush=True)
        return
    print("READY", flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    if os.environ.get("QEL_MODBUS_DEBUG"):
        logging.basicConfig(level=logging.DEBUG)
    asyncio.run(main(sys.argv[1]))
