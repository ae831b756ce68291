#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/. Run it again
after changing an input layout; the files it writes are kept in the
repository so a build needs no Python."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

THERMOSTAT = bytes([
    0x06, 0x00, 0xFF, 0x09, 0x80, 0xA1, 0x01,
    0x85, 0x01, 0x15, 0x00, 0x26, 0xFF, 0xFF, 0x75, 0x10, 0x95, 0x03, 0x19, 0x01, 0x29, 0x03, 0x81, 0x02,
    0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x04, 0x19, 0x04, 0x29, 0x07, 0x81, 0x02,
    0x85, 0x02, 0x26, 0xFF, 0xFF, 0x75, 0x10, 0x95, 0x02, 0x19, 0x08, 0x29, 0x09, 0x91, 0x02,
    0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x03, 0x19, 0x0A, 0x29, 0x0C, 0x91, 0x02,
    0xC0,
])

# The thermostat's ids on an interface that declares no variables.
NO_VARIABLES = bytes([0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0])

BOOT_KEYBOARD = bytes([
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
])

BOOT_MOUSE = bytes([
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
    0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05, 0x81, 0x01,
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06,
    0xC0, 0xC0,
])

# Keyboard, consumer keys and a feature report, told apart by report IDs.
REPORT_IDS = bytes([
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,
    0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x06, 0x75, 0x08, 0x26, 0xFF, 0x00, 0x19,
    0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00, 0xC0,
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x15, 0x00, 0x26, 0x9C, 0x02, 0x19, 0x00, 0x2A,
    0x9C, 0x02, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0,
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0xFF, 0x09, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x3F, 0xB1, 0x02, 0xC0,
])

# Signed temperatures with physical limits and a unit; Push and Pop; a
# delimiter set; a long item; a 32-bit and a 64-bit field.
ODD_ITEMS = bytes([
    0x06, 0x00, 0xFF, 0x09, 0x80, 0xA1, 0x01, 0x85, 0x03,
    0x16, 0xDE, 0xFD, 0x26, 0xE2, 0x04, 0x36, 0x9C, 0xFF, 0x46, 0x7D, 0x00, 0x55, 0x0F,
    0x67, 0x01, 0x00, 0x01, 0x00, 0x75, 0x10, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02,
    0xA4, 0x17, 0x00, 0x00, 0x00, 0x80, 0x27, 0xFF, 0xFF, 0xFF, 0x7F, 0x75, 0x20, 0x09, 0x02, 0xB1, 0x02,
    0xB4, 0xA9, 0x01, 0x09, 0x03, 0x09, 0x04, 0xA9, 0x00, 0x75, 0x40, 0x15, 0x00,
    0x27, 0xFF, 0xFF, 0xFF, 0xFF, 0x91, 0x02,
    0xFE, 0x02, 0x00, 0xAA, 0xBB, 0x0B, 0x05, 0x00, 0x00, 0xFF, 0x75, 0x01, 0x95, 0x07, 0x81, 0x03,
    0xC0,
])

DESCRIPTORS = {
    "thermostat": THERMOSTAT,
    "no_variables": NO_VARIABLES,
    "boot_keyboard": BOOT_KEYBOARD,
    "boot_mouse": BOOT_MOUSE,
    "report_ids": REPORT_IDS,
    "odd_items": ODD_ITEMS,
    # One byte past the longest descriptor the parser takes.
    "too_long": bytes([0xA4, 0xB4]) * 2048 + bytes([0xC0]),
}

# --- the hostile device's input -------------------------------------------
THERMO, THERMO_VID_ONLY, THERMO_PID_ONLY, OWN_IDS = 0, 1, 2, 3
PLUGGED, REFUSE, NAMED, NO_IDENTITY = 0x04, 0x08, 0x10, 0x20
(OPEN, PLUG, UNPLUG, EVENTS, READ, SEND, SELECT_VAR, SELECT_RPT, VALUES, SELECT_INTF,
 FIND_VAR, CLOSE_ALL, VERBOSE, SCALE_MODE, REPLUG, CRITERIA) = range(16)


def device(descriptor, ids=THERMO, flags=PLUGGED, name=None, vid=0, pid=0):
    out = bytes([ids | flags | (NAMED if name is not None else 0)])
    if ids == OWN_IDS:
        out += struct.pack("<HH", vid, pid)
    if name is not None:
        out += bytes([len(name)]) + name.encode()
    return out + struct.pack("<H", len(descriptor)) + descriptor


def hostile(devices, script, responses=b"", search_off=False, verbose=False):
    header = (len(devices) - 1) | (0x04 if search_off else 0) | (0x08 if verbose else 0)
    return bytes([header]) + b"".join(devices) + struct.pack("<H", len(script)) + bytes(script) + responses


def report_a(temperature=215, low=180, high=220, relay=1, mode=65, boot=0, probe=0, outcome=0):
    """A good answer to a read of report A (10 payload bytes)."""
    return bytes([outcome]) + struct.pack("<hhhBBBB", temperature, low, high, relay, mode, boot, probe)


HOSTILE = {
    "thermostat_reads": hostile(
        [device(THERMOSTAT, name="Calidor QN52-W")],
        [READ, READ, SEND, 0xB0, 0x00, 0x2C, 0x01, 0x42, 0x00, 0, 0, 0, 0, READ, EVENTS],
        report_a() + report_a(-125) + bytes([0]) + report_a(300)),
    "thermostat_and_extra_interface": hostile(
        [device(THERMOSTAT), device(NO_VARIABLES), device(BOOT_KEYBOARD, OWN_IDS, vid=0x046D, pid=0xC31C)],
        [READ, CLOSE_ALL, EVENTS, OPEN, READ, FIND_VAR, 0x00, 0x01, FIND_VAR, 0x02, 0x08, SELECT_INTF, 1, 4],
        report_a() * 3, search_off=False),
    "two_thermostats_replug": hostile(
        [device(THERMOSTAT), device(THERMOSTAT, name="Calidor QN52-W")],
        [READ, UNPLUG, 0, READ, EVENTS, READ, PLUG, 0, READ, EVENTS, REPLUG, 1, 0, READ, EVENTS, READ],
        report_a() * 8),
    "misbehaving_reads": hostile(
        [device(THERMOSTAT)],
        [READ] * 10 + [EVENTS, OPEN, READ, EVENTS],
        report_a(outcome=0x08) + bytes([4])                 # short by the next byte, then a timeout
        + report_a(outcome=0x10)[:1] + bytes([3]) + report_a()[1:]  # long by 4
        + bytes([0x20, 0x07]) + report_a()[1:]              # wrong report ID
        + bytes([5, 4])                                     # error, timeout
        + bytes([0x18, 0x00, 0x40])                         # 16 KiB answer, mostly zeros
        + report_a(outcome=7)                               # good, then the device vanishes
        + bytes([6])),                                      # gone
    "plugged_later": hostile(
        [device(THERMOSTAT, flags=0), device(BOOT_MOUSE, OWN_IDS, flags=0, vid=0x093A, pid=0x2510)],
        [PLUG, 1, PLUG, 0, READ, UNPLUG, 1, EVENTS, SEND, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, READ],
        report_a() * 2),
    "descriptor_changes_on_replug": hostile(
        [device(THERMOSTAT)],
        [READ, REPLUG, 0, 1, len(NO_VARIABLES), 0] + list(NO_VARIABLES)
        + [EVENTS, READ, REPLUG, 0, 1, len(THERMOSTAT), 0] + list(THERMOSTAT) + [EVENTS, READ],
        report_a() * 2),
    "verbose_direct_calls": hostile(
        [device(THERMOSTAT), device(REPORT_IDS, THERMO_VID_ONLY), device(ODD_ITEMS, THERMO_PID_ONLY)],
        [VERBOSE, CRITERIA, 0, OPEN, SELECT_VAR, 3, SCALE_MODE, 2, 4, VALUES, 0, 5, 0xFF, 0xFF, 0xFF, 0x7F,
         VALUES, 1, 6, 0, 0, 0, 0x80, SELECT_RPT, 0, 2, SELECT_RPT, 3, 3, SELECT_INTF, 2, 5, FIND_VAR, 0x01,
         0x01, 0x00, 0x01, SELECT_VAR, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, READ, CLOSE_ALL, EVENTS],
        report_a() * 4),
    # Every operation once out of range or without a selection, with the
    # report events on, a read of an output report and a write that finds
    # the device gone.
    "out_of_range_calls": hostile(
        [device(THERMOSTAT)],
        [SELECT_VAR, 0, SELECT_RPT, 1, 0, SELECT_INTF, 0, 0, SELECT_VAR, 1, SCALE_MODE, 0, 1, READ,
         SELECT_RPT, 0, 1, SELECT_RPT, 2, 2, SELECT_RPT, 0, 2, FIND_VAR, 0, 0x55,
         SEND, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, EVENTS, OPEN, CLOSE_ALL, SELECT_INTF, 1, 3, FIND_VAR, 8, 1],
        report_a() + report_a() + bytes([0, 6]), verbose=True),
    "refused_and_invalid": hostile(
        [device(THERMOSTAT, flags=PLUGGED | REFUSE), device(bytes([0xA1, 0x01, 0x81, 0x02])),
         device(THERMOSTAT[:-1]), device(THERMOSTAT, flags=PLUGGED | NO_IDENTITY)],
        [OPEN, EVENTS, READ]),
}

# --- the sysfs files --------------------------------------------------------
HAS_UEVENT, HAS_DESCRIPTOR, HAS_PRODUCT, HAS_SERIAL = 0x01, 0x02, 0x04, 0x08
DANGLING, PRODUCT_FOLDER, SECOND_NODE, NODE_FILE = 0x10, 0x20, 0x40, 0x80
USB_UEVENT = (b"DRIVER=hid-generic\nHID_ID=0003:00000925:00005000\nHID_NAME=Calidor QN52-W\n"
              b"HID_PHYS=usb-0000:00:14.0-2/input0\nHID_UNIQ=\nMODALIAS=hid:b0003g0001v00000925p00005000\n")


def sysfs(flags, uevent=b"", descriptor=b"", product=b"", serial=b"", ids=(3, 0x0925, 0x5000)):
    return (bytes([flags]) + struct.pack("<H", len(uevent)) + uevent + struct.pack("<H", len(descriptor))
            + descriptor + bytes([len(product)]) + product + bytes([len(serial)]) + serial
            + struct.pack("<HHH", *ids))


SYSFS = {
    "usb_thermostat": sysfs(HAS_UEVENT | HAS_DESCRIPTOR | HAS_PRODUCT | HAS_SERIAL, USB_UEVENT, THERMOSTAT,
                            b"QN52-W\n", b"0001\n"),
    "two_nodes_no_strings": sysfs(HAS_UEVENT | HAS_DESCRIPTOR | SECOND_NODE, USB_UEVENT, REPORT_IDS),
    "bluetooth_keyboard": sysfs(HAS_UEVENT | HAS_DESCRIPTOR | HAS_PRODUCT,
                                b"HID_ID=0005:0000046D:0000B342\nHID_NAME=Keyboard K380\nHID_UNIQ=34:88:5d:00:11:22\n",
                                BOOT_KEYBOARD, b"ignored", ids=(5, 0x046D, 0xB342)),
    "no_descriptor_node_file": sysfs(HAS_UEVENT | NODE_FILE | PRODUCT_FOLDER, USB_UEVENT),
    "bad_ids": sysfs(HAS_UEVENT | HAS_DESCRIPTOR,
                     b"HID_ID=0x03:+925:5000\nHID_ID=0003:100000925:00005000\r\n=novalue\nNOEQUALS\n",
                     BOOT_MOUSE, ids=(0xFFFF, 0, 0xFFFF)),
    "dangling_link": sysfs(DANGLING | HAS_UEVENT, USB_UEVENT),
    "nothing": sysfs(0),
}


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


write("descriptor_codec", DESCRIPTORS)
write("hostile_device", HOSTILE)
write("hidraw_sysfs", SYSFS)
