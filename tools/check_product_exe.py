#!/usr/bin/python3
"""Checks the shipped agent executable: a 32-bit x86 console program of at
most 64 KiB that imports only the system DLLs it may rely on and carries
exactly one resource, the application manifest (asInvoker, no UI access,
DPI-aware).

    check_product_exe.py AGENT.EXE [--publisher] [--event-log]

--publisher: a build that pins the installer's publisher, which also imports
WINTRUST and CRYPT32 (and must) and may be up to 4 KiB larger.
--event-log: a build with EVENT_LOG, which also imports the event log's
three calls from ADVAPI32 (and must), carries a message table with a text
for each event ID that takes each insert, and may be up to 4 KiB larger.
Without it the exe must have neither."""

import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

MAX_SIZE = 64 * 1024
ALLOWED_IMPORTS = {"kernel32.dll", "advapi32.dll", "shell32.dll", "wininet.dll", "msvcrt.dll"}
PUBLISHER_IMPORTS = {"wintrust.dll", "crypt32.dll"}
PUBLISHER_EXTRA_SIZE = 4 * 1024
EVENT_LOG_IMPORTS = {"RegisterEventSourceW", "ReportEventW", "DeregisterEventSource"}
EVENT_LOG_EXTRA_SIZE = 4 * 1024
EVENT_IDS = range(1, 9)  # one per outcome
EVENT_INSERTS = ["%1", "%2", "%3"]
RT_MESSAGETABLE = 11
RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def manifest_problems(xml_bytes):
    try:
        root = ElementTree.fromstring(xml_bytes)
    except ElementTree.ParseError as error:
        return [f"manifest is not well-formed XML: {error}"]
    if root.tag != ASM_V1 + "assembly":
        return [f"manifest root is {root.tag}, not an asm.v1 assembly"]
    problems = []
    levels = root.findall(f".//{ASM_V3}requestedExecutionLevel")
    if len(levels) != 1:
        problems.append(f"manifest has {len(levels)} requestedExecutionLevel elements, not 1")
    else:
        level = levels[0].attrib
        if level.get("level") != "asInvoker":
            problems.append(f"execution level is {level.get('level')!r}, not 'asInvoker'")
        if level.get("uiAccess") != "false":
            problems.append(f"uiAccess is {level.get('uiAccess')!r}, not 'false'")
    dpi = root.findall(f".//{ASM_V3}windowsSettings/{WINDOWS_SETTINGS_2005}dpiAware")
    if len(dpi) != 1 or (dpi[0].text or "").strip().lower() != "true":
        problems.append("manifest does not declare dpiAware true")
    return problems


def message_table(data):
    """{ID: text} of a MESSAGE_RESOURCE_DATA block."""
    texts = {}
    (blocks,) = struct.unpack_from("<I", data)
    for block in range(blocks):
        low, high, offset = struct.unpack_from("<III", data, 4 + 12 * block)
        for message_id in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", data, offset)
            text = data[offset + 4:offset + length]
            texts[message_id] = (text.decode("utf-16-le") if flags & 1
                                 else text.decode("latin-1")).rstrip("\0")
            offset += length
    return texts


def message_table_problems(texts):
    problems = []
    for event_id in EVENT_IDS:
        text = texts.get(event_id)
        if not text or not text.strip():
            problems.append(f"message table has no text for event ID {event_id}")
            continue
        missing = [insert for insert in EVENT_INSERTS if insert not in text]
        if missing:
            problems.append(f"message {event_id} does not take {', '.join(missing)}: {text!r}")
    return problems


def problems_of(path, publisher=False, event_log=False):
    pe = pefile.PE(path)
    problems = []
    size = len(pe.__data__)
    max_size = (MAX_SIZE + (PUBLISHER_EXTRA_SIZE if publisher else 0)
                + (EVENT_LOG_EXTRA_SIZE if event_log else 0))
    if size > max_size:
        problems.append(f"is {size} bytes, more than {max_size}")
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        problems.append(f"machine type is {pe.FILE_HEADER.Machine:#x}, not i386 (0x14c)")
    if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]:
        problems.append(f"subsystem is {pe.OPTIONAL_HEADER.Subsystem}, not the console (3)")

    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    allowed = ALLOWED_IMPORTS | (PUBLISHER_IMPORTS if publisher else set())
    for dll in sorted(imports - allowed):
        problems.append(f"imports {dll}, which is not one of {sorted(allowed)}")
    if publisher:
        for dll in sorted(PUBLISHER_IMPORTS - imports):
            problems.append(f"does not import {dll}, which the signature check needs")
    if getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", None):
        problems.append("has delay-load imports")
    calls = {imported.name.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
             for imported in entry.imports if imported.name}
    if event_log:
        for call in sorted(EVENT_LOG_IMPORTS - calls):
            problems.append(f"does not import {call}, which the event log needs")
    else:
        for call in sorted(EVENT_LOG_IMPORTS & calls):
            problems.append(f"imports {call}, but is not a build with the event log")

    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    manifests = []
    tables = []
    for type_entry in resources.entries if resources else []:
        if type_entry.id == RT_MESSAGETABLE and event_log:
            for name_entry in type_entry.directory.entries:
                for language_entry in name_entry.directory.entries:
                    data = language_entry.data.struct
                    tables.append(message_table(pe.get_data(data.OffsetToData, data.Size)))
            continue
        if type_entry.id != RT_MANIFEST:
            name = pefile.RESOURCE_TYPE.get(type_entry.id, type_entry.name)
            problems.append(f"carries a resource of type {name} besides the manifest")
            continue
        for name_entry in type_entry.directory.entries:
            for language_entry in name_entry.directory.entries:
                data = language_entry.data.struct
                manifests.append((name_entry.id, pe.get_data(data.OffsetToData, data.Size)))
    if len(manifests) != 1:
        problems.append(f"has {len(manifests)} manifests, not exactly 1")
    else:
        resource_id, xml_bytes = manifests[0]
        if resource_id != 1:
            problems.append(f"manifest has id {resource_id}, not 1 (the process manifest)")
        problems += manifest_problems(xml_bytes)
    if event_log:
        if len(tables) != 1:
            problems.append(f"has {len(tables)} message tables, not exactly 1")
        else:
            problems += message_table_problems(tables[0])
    return problems


def main(argv):
    options = set(argv[2:])
    if len(argv) < 2 or not options <= {"--publisher", "--event-log"}:
        print(f"usage: {argv[0]} AGENT.EXE [--publisher] [--event-log]", file=sys.stderr)
        return 2
    publisher, event_log = "--publisher" in options, "--event-log" in options
    problems = problems_of(argv[1], publisher, event_log)
    for problem in problems:
        print(f"{argv[1]}: {problem}")
    if not problems:
        kind = " and ".join([name for name, on in [("publisher", publisher),
                                                    ("event log", event_log)] if on]
                            or ["default"]) + " build"
        resources = "manifest and message table" if event_log else "manifest"
        print(f"{argv[1]}: {len(open(argv[1], 'rb').read())} bytes, {kind}, i386 console program, "
              f"imports only system DLLs, {resources} only: ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
