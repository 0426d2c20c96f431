#!/usr/bin/python3
"""Checks the built BmpFilter.dll as a file, with pefile.

  check-win32-module.py BmpFilter.dll

A 32-bit DLL that imports only from the allowed DLLs (the system's and the
host's), exports exactly ExportBMP at ordinal 1 and ImportBMP at ordinal 2,
carries exactly the two dialog templates, ids 100 and 101 in English
(United States), field for field as below, loads at a randomised address with
its data not executable (DYNAMIC_BASE, NX_COMPAT), and ships without debug
sections. Prints what it finds and one FAIL line per difference; exits 1 when
there is any.

Run with Debian's interpreter: python3-pefile is installed for it.
"""
import struct
import sys

import pefile

# Compared without regard to case, as the loader does. ADVAPI32.dll gives the
# stack protector its random guard value.
ALLOWED_IMPORTS = ["KERNEL32.dll", "ADVAPI32.dll", "msvcrt.dll", "host.dll"]
EXPORTS = [(1, "ExportBMP"), (2, "ImportBMP")]

RT_DIALOG = 5
LANGUAGE = 0x0409  # English, United States
BUTTON_CLASS = "#128"  # the predefined button class, by ordinal
DS_SETFONT = 0x40


def dialog(caption, frame, controls):
    # Popup, caption, system menu, modal frame, set-font, fixed-system.
    return {"help id": 0, "extended style": 0, "style": 0x80C800C8, "frame": frame,
            "menu": "", "class": "", "caption": caption, "point size": 8, "weight": 400,
            "italic": 0, "character set": 1, "typeface": "MS Shell Dlg",
            "controls": controls}


def button(text, control_id, style, frame):
    return {"help id": 0, "extended style": 0, "style": style, "frame": frame,
            "id": control_id, "class": BUTTON_CLASS, "text": text, "extra bytes": 0}


# Default button 0x50010001 (0x50030001 where it starts a group), the other
# 0x50010000: child, visible, tab stop.
DIALOGS = {
    100: dialog("Import Options", (49, 44, 229, 55),
                [button("OK", 1, 0x50010001, (176, 9, 44, 16)),
                 button("Cancel", 2, 0x50010000, (176, 31, 44, 16))]),
    101: dialog("Export Options", (28, 44, 190, 51),
                [button("OK", 1, 0x50030001, (138, 7, 41, 16)),
                 button("Cancel", 2, 0x50010000, (138, 29, 41, 16))]),
}


class Reader:
    """Little-endian fields of an extended dialog template, in order."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise struct.error("unterminated text")
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def text_or_ordinal(self):
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            return "#%d" % self.take("2xH")
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def parse_dialog(data):
    r = Reader(data)
    if r.take("HH") != (1, 0xFFFF):
        raise struct.error("not an extended dialog template")
    d = {}
    d["help id"], d["extended style"], d["style"], count = r.take("IIIH")
    d["frame"] = r.take("hhhh")
    d["menu"], d["class"], d["caption"] = r.text_or_ordinal(), r.text_or_ordinal(), r.text()
    if d["style"] & DS_SETFONT:
        d["point size"], d["weight"], d["italic"], d["character set"] = r.take("HHBB")
        d["typeface"] = r.text()
    d["controls"] = []
    for _ in range(count):
        r.align()
        c = {}
        c["help id"], c["extended style"], c["style"] = r.take("III")
        c["frame"] = r.take("hhhh")
        c["id"] = r.take("I")
        c["class"], c["text"] = r.text_or_ordinal(), r.text_or_ordinal()
        c["extra bytes"] = r.take("H")
        r.at += c["extra bytes"]
        d["controls"].append(c)
    r.align()
    if r.at != len(data):
        raise struct.error("%d bytes after the last control" % (len(data) - r.at))
    return d


def differences(where, expected, actual):
    """One line per field that differs, nested lists of controls included."""
    out = []
    for key, want in expected.items():
        got = actual.get(key)
        if key == "controls":
            if len(got) != len(want):
                out.append("%s: %d controls, expected %d" % (where, len(got), len(want)))
            for i, (w, g) in enumerate(zip(want, got)):
                out += differences("%s control %d" % (where, i + 1), w, g)
        elif got != want:
            show = (lambda v: "0x%08X" % v) if key.endswith("style") else repr
            out.append("%s %s: %s, expected %s" % (where, key, show(got), show(want)))
    return out


def check_imports(pe, fail):
    names = [e.dll.decode() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    names += [e.dll.decode() for e in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    print("imports: " + " ".join(names))
    allowed = {name.lower() for name in ALLOWED_IMPORTS}
    for name in names:
        if name.lower() not in allowed:
            fail("imports from %s, which is not in the allowed list (%s)"
                 % (name, ", ".join(ALLOWED_IMPORTS)))


def check_exports(pe, fail):
    table = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    if table is None:
        fail("no export table")
        return
    found = sorted((s.ordinal, s.name.decode() if s.name else None) for s in table.symbols)
    print("exports: " + " ".join("%s @%d" % (name, ordinal) for ordinal, name in found))
    if found != EXPORTS or table.struct.NumberOfFunctions != len(EXPORTS):
        fail("exports are %s (%d functions), expected %s"
             % (found, table.struct.NumberOfFunctions, EXPORTS))
    for s in table.symbols:
        if s.address == 0 or s.forwarder is not None:
            fail("export @%d has no code in this module" % s.ordinal)


def check_resources(pe, fail):
    dialogs = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root else []:
        for resource in kind.directory.entries:
            for language in resource.directory.entries:
                where = "resource type %s id %s language 0x%04X" % (kind.id, resource.id,
                                                                  language.id)
                print(where)
                if kind.id != RT_DIALOG or resource.id not in DIALOGS:
                    fail("unexpected " + where)
                elif language.id != LANGUAGE or resource.id in dialogs:
                    fail("unexpected " + where + " (want one, in 0x%04X)" % LANGUAGE)
                else:
                    entry = language.data.struct
                    dialogs[resource.id] = pe.get_data(entry.OffsetToData, entry.Size)
    for dialog_id, want in DIALOGS.items():
        if dialog_id not in dialogs:
            fail("dialog %d is missing" % dialog_id)
            continue
        try:
            got = parse_dialog(dialogs[dialog_id])
        except struct.error as e:
            fail("dialog %d: %s" % (dialog_id, e))
            continue
        print("dialog %d: %r, %d controls" % (dialog_id, got["caption"], len(got["controls"])))
        for line in differences("dialog %d" % dialog_id, want, got):
            fail(line)


def section_name(pe, section):
    """A section's full name: names longer than eight bytes are stored as
    "/offset" into the COFF string table, after the symbol table."""
    name = section.Name.rstrip(b"\0").decode(errors="replace")
    if not name.startswith("/") or not name[1:].isdigit():
        return name
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    data = pe.__data__
    start = strings + int(name[1:])
    return data[start:data.find(b"\0", start)].decode(errors="replace")


def check_hardening(pe, fail):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    print("DllCharacteristics: 0x%04X" % flags)
    for name in ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT"):
        if not flags & pefile.DLL_CHARACTERISTICS[name]:
            fail("DllCharacteristics lacks " + name)
    names = [section_name(pe, s) for s in pe.sections]
    print("sections: " + " ".join(names))
    debug = [name for name in names if name.startswith(".debug")]
    if debug:
        fail("debug sections left in the module: " + " ".join(debug))


def main(path):
    failures = []

    def fail(message):
        failures.append(message)
        print("FAIL: " + message)

    pe = pefile.PE(path)
    print("module: %s, machine 0x%X, characteristics 0x%X"
          % (path, pe.FILE_HEADER.Machine, pe.FILE_HEADER.Characteristics))
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"] or \
            pe.OPTIONAL_HEADER.Magic != pefile.OPTIONAL_HEADER_MAGIC_PE or not pe.is_dll():
        fail("not a 32-bit x86 DLL")
    check_imports(pe, fail)
    check_exports(pe, fail)
    check_resources(pe, fail)
    check_hardening(pe, fail)
    print("module check %s (%d failures)" % ("FAILED" if failures else "passed", len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check-win32-module.py BmpFilter.dll")
    sys.exit(main(sys.argv[1]))
