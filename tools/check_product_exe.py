#!/usr/bin/python3
"""Checks the shipped agent executable: a 32-bit x86 console program of at
most 64 KiB that imports only the system DLLs it may rely on and carries
exactly one resource, the application manifest (asInvoker, no UI access,
DPI-aware).

    check_product_exe.py AGENT.EXE [--publisher]

--publisher: a build that pins the installer's publisher, which also imports
WINTRUST and CRYPT32 (and must) and may be up to 4 KiB larger."""

import sys
import xml.etree.ElementTree as ElementTree

import pefile

MAX_SIZE = 64 * 1024
ALLOWED_IMPORTS = {"kernel32.dll", "advapi32.dll", "shell32.dll", "wininet.dll", "msvcrt.dll"}
PUBLISHER_IMPORTS = {"wintrust.dll", "crypt32.dll"}
PUBLISHER_EXTRA_SIZE = 4 * 1024
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


def problems_of(path, publisher=False):
    pe = pefile.PE(path)
    problems = []
    size = len(pe.__data__)
    max_size = MAX_SIZE + (PUBLISHER_EXTRA_SIZE if publisher else 0)
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

    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    manifests = []
    for type_entry in resources.entries if resources else []:
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
    return problems


def main(argv):
    publisher = argv[2:] == ["--publisher"]
    if len(argv) != 2 and not publisher:
        print(f"usage: {argv[0]} AGENT.EXE [--publisher]", file=sys.stderr)
        return 2
    problems = problems_of(argv[1], publisher)
    for problem in problems:
        print(f"{argv[1]}: {problem}")
    if not problems:
        kind = "publisher build" if publisher else "default build"
        print(f"{argv[1]}: {len(open(argv[1], 'rb').read())} bytes, {kind}, i386 console program, "
              "imports only system DLLs, manifest only: ok")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
