"""The static check of the shipped executable catches each kind of fault,
shown on copies of the real product with one thing changed."""

import pathlib
import struct
import sys

import pefile
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import check_product_exe  # noqa: E402

PRODUCT = ROOT / "build" / "windows-x86" / "bw_agent.exe"
PUBLISHER_PRODUCT = ROOT / "build" / "windows-x86-hardened" / "bw_agent.exe"


def set_machine(pe):
    pe.FILE_HEADER.Machine = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]


def set_gui_subsystem(pe):
    pe.OPTIONAL_HEADER.Subsystem = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]


def rename_import(pe):
    entry = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"shell32.dll")
    pe.set_bytes_at_rva(entry.struct.Name, b"USER32.dll\0")


def append_padding(pe):
    return bytes(70_000)  # appended to the file, as an overlay


def manifest_into_version_resource(pe):
    pe.DIRECTORY_ENTRY_RESOURCE.entries[0].struct.Name = 16  # RT_VERSION


def manifest_into_icon_resource(pe):
    pe.DIRECTORY_ENTRY_RESOURCE.entries[0].struct.Name = 3  # RT_ICON


def replace_in_manifest(old, new):
    def change(pe):
        language = pe.DIRECTORY_ENTRY_RESOURCE.entries[0].directory.entries[0].directory.entries[0]
        data = language.data.struct
        xml = pe.get_data(data.OffsetToData, data.Size)
        assert old in xml
        pe.set_bytes_at_rva(data.OffsetToData, xml.replace(old, new.ljust(len(old))))
    return change


@pytest.mark.parametrize("change, complaint", [
    (None, None),
    (set_machine, "not i386"),
    (set_gui_subsystem, "not the console"),
    (append_padding, "more than 65536"),
    (rename_import, "imports user32.dll"),
    (manifest_into_version_resource, "resource of type RT_VERSION"),
    (manifest_into_icon_resource, "resource of type RT_ICON"),
    (replace_in_manifest(b'"asInvoker"', b'"Invoker"'), "not 'asInvoker'"),
    (replace_in_manifest(b'uiAccess="false"', b'uiAccess="true" '), "uiAccess is 'true'"),
    (replace_in_manifest(b">true</dpiAware>", b">false</dpiAware>"), "dpiAware true"),
    (replace_in_manifest(b"<assembly", b"<assembyl"), "not well-formed"),
])
def test_check_flags_each_fault(tmp_path, change, complaint):
    if not PRODUCT.exists():
        pytest.fail(f"{PRODUCT} is not built")
    pe = pefile.PE(str(PRODUCT))
    appended = change(pe) if change else None
    changed = tmp_path / "agent.exe"
    changed.write_bytes(bytes(pe.write()) + (appended or b""))
    problems = check_product_exe.problems_of(str(changed))
    if complaint is None:
        assert problems == []
    else:
        assert any(complaint in problem for problem in problems), problems


# Each build passes only as what it is: the signature check's two DLLs are
# wrong in the default build and required in the publisher build, and so are
# the event log's calls and message table, each of which may add 4 KiB. The
# hardened build has both.
def drop_a_message(pe):
    table = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 11)
    data = table.directory.entries[0].directory.entries[0].data.struct
    low, high, offset = struct.unpack_from("<III", pe.get_data(data.OffsetToData, 16), 4)
    pe.set_bytes_at_rva(data.OffsetToData + 4, struct.pack("<II", low, high - 1))


@pytest.mark.parametrize("product, publisher, event_log, change, complaint", [
    (PUBLISHER_PRODUCT, True, True, None, None),
    (PUBLISHER_PRODUCT, False, True, None, "imports wintrust.dll"),
    (PRODUCT, True, False, None, "does not import wintrust.dll"),
    (PUBLISHER_PRODUCT, True, True, append_padding, "more than 73728"),
    (PUBLISHER_PRODUCT, True, False, None, "resource of type RT_MESSAGETABLE"),
    (PRODUCT, False, True, None, "does not import ReportEventW"),
    (PRODUCT, False, True, None, "has 0 message tables"),
    (PUBLISHER_PRODUCT, True, True, drop_a_message, "no text for event ID 8"),
])
def test_check_knows_each_build(tmp_path, product, publisher, event_log, change, complaint):
    if not product.exists():
        pytest.fail(f"{product} is not built")
    pe = pefile.PE(str(product))
    appended = change(pe) if change else None
    changed = tmp_path / "agent.exe"
    changed.write_bytes(bytes(pe.write()) + (appended or b""))
    problems = check_product_exe.problems_of(str(changed), publisher, event_log)
    if complaint is None:
        assert problems == []
    else:
        assert any(complaint in problem for problem in problems), problems
