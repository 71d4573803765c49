"""The static check of the shipped executable catches each kind of fault,
shown on copies of the real product with one thing changed."""

import pathlib
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
# wrong in the default build and required in the publisher build, which may
# be up to 4 KiB larger.
@pytest.mark.parametrize("product, publisher, complaint", [
    (PUBLISHER_PRODUCT, True, None),
    (PUBLISHER_PRODUCT, False, "imports wintrust.dll"),
    (PRODUCT, True, "does not import wintrust.dll"),
    (PUBLISHER_PRODUCT, True, "more than 69632"),
])
def test_check_knows_both_builds(tmp_path, product, publisher, complaint):
    if not product.exists():
        pytest.fail(f"{product} is not built")
    changed = tmp_path / "agent.exe"
    padding = bytes(70_000) if complaint and "more than" in complaint else b""
    changed.write_bytes(product.read_bytes() + padding)
    problems = check_product_exe.problems_of(str(changed), publisher)
    if complaint is None:
        assert problems == []
    else:
        assert any(complaint in problem for problem in problems), problems
