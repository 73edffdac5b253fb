#!/usr/bin/python3
"""An independent Modbus ASCII master that questions the PLC emulator.

Usage: modbus_master.py DEVICE. Prints one line per transaction:
  R <addr> <values...>       holding registers read (hex)
  C <addr> <bits...>         coils read
  W <fn> ok|error            a write and whether pymodbus accepted the reply
  X <fn> <reply fn> <code>   a refused request: the function asked, the
                             function of the exception reply, its exception code
  ERR <text>                 a request whose reply pymodbus could not take
"""
import sys

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.pdu import ExceptionResponse


def main(device):
    # Every request here gets a reply; the time-out is only the test's wait
    # limit, room for a machine busy with other work.
    client = ModbusSerialClient(device, framer=ModbusAsciiFramer, baudrate=9600, bytesize=8,
                                parity="N", stopbits=1, timeout=60)
    if not client.connect():
        print("ERR connect", flush=True)
        return 1

    def regs(addr, count):
        rr = client.read_holding_registers(addr, count, slave=1)
        if rr.isError():
            print(f"ERR read {addr:04X} {rr}", flush=True)
        else:
            print("R %04X %s" % (addr, " ".join("%04X" % v for v in rr.registers)), flush=True)

    def coils(addr, count):
        rr = client.read_coils(addr, count, slave=1)
        if rr.isError():
            print(f"ERR coils {addr:04X} {rr}", flush=True)
        else:
            print("C %04X %s" % (addr, " ".join(str(int(b)) for b in rr.bits[:count])), flush=True)

    def write(fn, rr):
        print(f"W {fn} {'error' if rr.isError() else 'ok'}", flush=True)

    def refused(fn, rr):
        # Only a frame pymodbus decoded as an exception reply counts; a
        # time-out or a frame it could not take is something else.
        if isinstance(rr, ExceptionResponse):
            print(f"X {fn} {rr.function_code} {rr.exception_code}", flush=True)
        else:
            print(f"ERR refused {fn} {rr}", flush=True)

    regs(0x13E9, 3)                                  # D1001..D1003: identification
    write(6, client.write_register(0x1002, 0xABCD, slave=1))
    write(16, client.write_registers(0x1003, [0x0001, 0x0002], slave=1))
    regs(0x1002, 3)
    write(5, client.write_coil(0x0501, True, slave=1))
    coils(0x0500, 3)
    regs(0x2000, 2)                                  # program memory, first 4 bytes
    # Requests the PLC refuses: addresses it does not have, a function it
    # does not know, a count beyond a reply frame.
    refused(3, client.read_holding_registers(0x7000, 1, slave=1))
    refused(1, client.read_coils(0x0700, 1, slave=1))
    refused(5, client.write_coil(0x0700, True, slave=1))
    refused(6, client.write_register(0x7000, 1, slave=1))
    refused(16, client.write_registers(0x7000, [1], slave=1))
    refused(4, client.read_input_registers(0x1000, 1, slave=1))
    refused(3, client.read_holding_registers(0x1000, 126, slave=1))
    regs(0x1002, 1)                                  # the line still answers
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
