#!/usr/bin/env python3
"""Writes the seed corpora of the protocol, registry and language fuzz targets.

Each protocol seed is a short host session in the target's input form (fuzz_protocol.cpp):
a flags byte, then operations, each an opcode and its argument bytes as the target reads
them. The registry seeds are small hive files (the platform's tables) followed by the
target's choice bytes; the language seeds build string stores, and one is a hive file.

    python3 fuzz/make_seeds.py            # rewrites fuzz/corpus/{protocol,registry,lang}
"""
import os
import sqlite3
import struct
import tempfile

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

# --- The protocol target's encoding (the orders of its tables and enums).

OPS = ["Notify", "SetBagValue", "Exec", "QueryStatus", "WriteOnControl", "ReadOnControl", "Load", "Save",
       "SetSite", "Advise", "Unadvise", "Mouse", "Key", "Size", "Clock", "Scroll", "Message", "Reentrant",
       "HostAnswers"]
KEYS = ["scan.name", "scan.prof", "scan.temp", "scan.temp.pre", "scan.preview", "scan.type", "scan.size",
        "scan.pos", "scan.crop", "scan.sour", "scan.reso", "scan.type.array", "scan.size.array",
        "scan.sour.array", "scan.reso.array", "scan.multipos.array", "scan.multicrop.array",
        "scan.autocrop.single", "scan.autocrop.multi", "scan.rotate", "scan.flip", "scan.page", "scan.ocr",
        "scan.init", "scan.busy", "scan.proc", "scan.error", "base.style", "boot.adf.hide", "boot.fuzz",
        "BASE.STYLE", "scan.", ""]
PATHS = ["engine/prev_1.jpg", "engine/prev_2.jpg", "engine/prev_3.jpg", "engine/prev_4.jpg",
         "engine/prev_5.jpg", "engine/prev_6.jpg", "engine/prev_99.jpg", "engine/prev_100.jpg",
         "engine/prev_abc.jpg", "engine/prev_0.jpg", "engine/prev_-3.jpg", "engine/page.jpg",
         "engine/qor_org_preview.jpg", "other/prev_7.jpg", "other/prev_100.jpg", "missing/prev_1.jpg",
         "missing/prev_100.jpg", "engine/linked/prev_100.jpg", "engine/sub/prev_100.jpg",
         "engine/prev_1.jpg/prev_100.jpg", "prev_100.jpg", "temp", "temp/", "tmp", "missing", ""]
PATH_KEYS = ("scan.temp", "scan.temp.pre")
MOUSE = {"ldown": 0, "lup": 1, "rdown": 2, "rup": 3, "move": 4, "wheel": 5}


def op(name):
    return [OPS.index(name)]


def dword(n):
    return list(struct.pack("<I", n & 0xFFFFFFFF))


def word(n):
    return list(struct.pack("<H", n & 0xFFFF))


# Values (MakeVariant).
def v_empty():
    return [0]


def v_bool(b):
    return [5, 1, 1 if b else 0]


def v_i4(n):
    return [3, 1, 3] + dword(n)


def v_ui4(n):
    return [3, 0, 3] + dword(n)


def v_pair(a, b):
    return [3, 0, 1] + word(a) + word(b)


def v_text(s):
    return [7, 1, 0, len(s)] + list(s.encode("latin-1"))


def v_path(index, backslashes=False):
    return [7, 1, 1, 1 if backslashes else 0, index]


def v_array(values, cb_element=4):
    """A VT_ARRAY | VT_UI4 of pairs, built with SafeArrayCreate or by hand with an element size."""
    made = [1] if cb_element == 4 else [0, cb_element - 1]
    elements = []
    for value in values:
        elements += [3] + dword(value)
    return [9, 1, 0, 1, 0, len(values), 1] + made + elements + [1]


def pair(a, b):
    return (a & 0xFFFF) | (b & 0xFFFF) << 16


# Operations.
def key(name):
    return [1, KEYS.index(name)]


def value_for(name, value):
    # Path keys read one more byte first: non-zero takes the value as given here.
    return ([0] if name in PATH_KEYS else []) + value


def notify(name, value, form=1):
    return op("Notify") + key(name) + value_for(name, value) + [form]


def notify_path(name, index, form=1):
    return op("Notify") + key(name) + [1, 0, index] + [form]


def set_bag(name, value):
    return op("SetBagValue") + key(name) + value_for(name, value) + [1]


def set_bag_path(name, index):
    return op("SetBagValue") + key(name) + [1, 0, index] + [1]


def write_control(name, value):
    return op("WriteOnControl") + key(name) + value_for(name, value) + [1]


def command(cmd):
    return [1, cmd - 2205] if cmd >= 2205 else [0, cmd - 2001]


def exec_(cmd, value=None):
    form = 2 | (8 if value is not None else 0)
    return op("Exec") + command(cmd) + [form] + (value or v_empty()) + [0]


def query_status(cmds, cw_buf=0, textf=0, form=0):
    encoded = []
    for cmd in (cmds + [2205, 2205, 2205])[:3]:
        encoded += command(cmd)
    return op("QueryStatus") + [len(cmds)] + encoded + [cw_buf, textf, form]


def mouse(*events):
    encoded = []
    for name, x, y in events:
        encoded += [MOUSE[name], x, y, 2]
    return op("Mouse") + [len(events) - 1] + encoded


def drag(x0, y0, x1, y1):
    return mouse(("ldown", x0, y0), ("move", (x0 + x1) // 2, (y0 + y1) // 2), ("move", x1, y1), ("lup", x1, y1))


def clock(ms):
    return op("Clock") + [1, ms // 10]


def load(which):
    return op("Load") + {"null": [0], "other": [1, 0x0B], "bag": [2]}[which]


def size_view(w, h):
    return op("Size") + [2, w, h]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def protocol_seeds():
    letter = 0x0F  # a letter job, forwarding, sited, bound
    rows = [pair(100, 100), pair(4000, 6000)]
    sizes = [pair(3000, 4000), pair(3000, 3000)]
    return {
        "preview_then_crop": [letter] + exec_(2205) + notify_path("scan.temp.pre", 0) +
        notify_path("scan.temp.pre", 1) + notify_path("scan.temp.pre", 3) + notify_path("scan.temp.pre", 7) +
        notify("scan.busy", v_bool(False)) + exec_(2210) + set_bag("scan.multipos.array", v_array(rows)) +
        set_bag("scan.multicrop.array", v_array(sizes)) + notify("scan.proc", v_i4(0)) +
        notify("scan.busy", v_bool(False)) + drag(40, 40, 70, 60) + exec_(2214) + exec_(2211) + exec_(2217),
        "final_scan_base_style_0": [letter | 0x10] + write_control("base.style", v_ui4(0)) +
        set_bag("scan.sour", v_i4(3)) + exec_(2206) + notify_path("scan.temp.pre", 0) +
        notify_path("scan.temp.pre", 0) + set_bag_path("scan.temp", 23) + notify_path("scan.temp.pre", 14) +
        notify("scan.busy", v_bool(False)) + load("null"),
        "wide_frame_elements": [0x05] + set_bag("scan.multipos.array", v_array(rows, 16)) +
        set_bag("scan.multicrop.array", v_array(sizes, 16)) + load("bag") + exec_(2210) +
        notify("scan.proc", v_i4(0)) + set_bag("scan.multipos.array", v_array(rows, 2)) + load("other"),
        "geometry_keys": [letter] + notify("scan.size", v_pair(9000, 8500)) + notify("scan.crop", v_pair(3000, 2000)) +
        notify("scan.pos", v_pair(8000, 500)) + notify("scan.type", v_i4(0)) + notify("scan.size", v_pair(0, 65535)) +
        size_view(30, 20) + notify("scan.crop", v_pair(11999, 11999)) + size_view(150, 110) +
        notify("scan.temp.pre", v_text("C:\\scan\\prev_37.jpg")),
        "host_calls": [0x03] + op("SetSite") + [3, 1] + op("Advise") + [1, 1, 1] + load("bag") +
        query_status([2208], 4, 0, 4) + query_status([2004, 2005], 8, 1, 4) + exec_(2001) + exec_(2209) +
        op("Save") + [1, 0, 0] + op("Reentrant") + [1] + write_control("scan.pos", v_pair(1, 2)) +
        notify("scan.type", v_i4(1)) + op("Unadvise") + [0] + op("SetSite") + [2] + op("SetSite") + [0],
        # A bag that unbinds the control from inside the Advise of its own binding.
        "reentrant_unbind": [0x07] + op("Reentrant") + [2] + load("bag") + load("null") + exec_(2214) +
        op("Reentrant") + [0] + exec_(2214) + load("null"),
        "busy_wheel": [letter] + exec_(2205) + clock(200) + clock(390) + exec_(2208) + clock(200) +
        notify_path("scan.temp.pre", 2) + notify_path("scan.temp.pre", 16) + notify_path("scan.temp.pre", 17) +
        notify("scan.error", v_text("jammed")) + notify("scan.busy", v_bool(False)) + mouse(("wheel", 50, 50)),
    }


# --- Registry hives: the platform's tables, names as UTF-16 (folded names big-endian, upper case).

SCHEMA = """
CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name BLOB NOT NULL,
 name_folded BLOB NOT NULL, written INTEGER NOT NULL, UNIQUE(parent, name_folded));
CREATE TABLE key_values(key INTEGER NOT NULL, name BLOB NOT NULL, name_folded BLOB NOT NULL,
 type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, name_folded));
INSERT INTO keys(id, parent, name, name_folded, written) VALUES(1, 0, x'', x'', 0);
"""
REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 3, 4, 7


def utf16(text):
    return text.encode("utf-16-le")


def folded(text):
    return text.upper().encode("utf-16-be")


def sz(text):
    return utf16(text) + b"\0\0"


def hive(keys, values):
    """keys: paths below the root; values: (path, name, type, data). Returns the file's bytes."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "hive.db")
        db = sqlite3.connect(path)
        db.execute("PRAGMA page_size = 512")
        db.executescript(SCHEMA)
        ids = {"": 1}
        for key_path in keys:
            parent = ""
            for part in key_path.split("\\"):
                here = part if not parent else parent + "\\" + part
                if here not in ids:
                    cursor = db.execute("INSERT INTO keys(parent, name, name_folded, written) VALUES(?, ?, ?, 0)",
                                        (ids[parent], utf16(part), folded(part)))
                    ids[here] = cursor.lastrowid
                parent = here
        for key_path, name, value_type, data in values:
            db.execute("INSERT INTO key_values(key, name, name_folded, type, data) VALUES(?, ?, ?, ?, ?)",
                       (ids[key_path], utf16(name), folded(name), value_type, data))
        db.commit()
        db.execute("VACUUM")
        db.close()
        with open(path, "rb") as f:
            return f.read()


RESOURCES = "SOFTWARE\\Velmora\\Scrivane\\Resources"
TABLE = "QORRes-fuzz_lang.xml"


def language_store_hive():
    keys = [RESOURCES + "\\English\\" + TABLE, RESOURCES + "\\Deutsch\\" + TABLE]
    values = [(RESOURCES, "CurrentLanguage", REG_SZ, sz("Deutsch")),
              (RESOURCES + "\\English", "", REG_SZ, sz("en-US")),
              (RESOURCES + "\\Deutsch", "", REG_SZ, sz("de-DE")),
              (RESOURCES + "\\Deutsch\\" + TABLE, "String#101", REG_SZ, sz("Abbrechen")),
              (RESOURCES + "\\Deutsch\\" + TABLE, "String#104", REG_MULTI_SZ, sz("a") + sz("b") + b"\0\0")]
    return hive(keys, values)


def registry_seeds():
    choices = list(range(7, 7 + 64))
    classes = hive(["SOFTWARE\\Classes\\CLSID\\{7C3E9A52-7700-0000-0000-770000000001}\\InprocServer32",
                    "Control Panel\\Desktop"],
                   [("SOFTWARE\\Classes\\CLSID\\{7C3E9A52-7700-0000-0000-770000000001}\\InprocServer32", "",
                     REG_SZ, sz("/usr/lib/libQORScan.so")),
                    ("SOFTWARE\\Classes\\CLSID\\{7C3E9A52-7700-0000-0000-770000000001}\\InprocServer32",
                     "ThreadingModel", REG_SZ, sz("Apartment")),
                    ("Control Panel\\Desktop", "WheelScrollLines", REG_SZ, sz("3")),
                    ("Control Panel\\Desktop", "Odd", REG_SZ, b"\x41\x00\x42"),
                    ("Control Panel\\Desktop", "Count", REG_DWORD, struct.pack("<I", 7)),
                    ("Control Panel\\Desktop", "Blob", REG_BINARY, bytes(range(40)))])
    return {"classes_and_desktop": list(classes) + choices,
            "language_store": list(language_store_hive()) + choices[::-1],
            "empty_hive": list(hive([], [])) + [0] * 64}


# --- The language target's encoding (fuzz_lang.cpp).

def l_bytes(data):
    return [len(data)] + list(data)


def l_name(text):
    return l_bytes(utf16(text))


def l_value(value_type_index, data, repeat=1):
    # Type index into REG_SZ, REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_NONE.
    return [value_type_index] + l_bytes(data) + [repeat - 1]


def l_string(string_id_index, value):
    return [1, string_id_index] + value  # ids 99, 100, 101, 102, 103, 104, 105


def l_language(name, code_value, tables):
    encoded = l_name(name) + [1] + code_value + [len(tables)]
    for strings in tables:
        encoded += [1, len(strings)]
        for s in strings:
            encoded += s
    return encoded


def lang_seeds():
    languages = "fr-FR:de-DE"
    deutsch = l_language("Deutsch", l_value(0, sz("de-DE")),
                         [[l_string(2, l_value(0, sz("Abbrechen"))), l_string(5, l_value(2, sz("a") + sz("b") + b"\0\0"))]])
    english = l_language("English", l_value(0, sz("en-US")), [[l_string(3, l_value(0, sz("Zur\u00fcck")))]])
    long_value = l_language("Long", l_value(0, sz("fr-FR")), [[l_string(5, l_value(0, b"x\0", 120)),
                                                               l_string(2, l_value(0, b"", 1))]])
    return {
        "preferred_languages": [0x05, 1] + l_bytes(languages.encode()) + l_value(0, sz("English")) + [2] + deutsch + english,
        "current_language_only": [0x04, 0] + l_value(0, sz("Deutsch")) + [1] + deutsch,
        "long_and_empty_values": [0x05, 1] + l_bytes(b"fr-FR") + l_value(3, sz("Long"), 1) + [1] + long_value,
        "no_store": [0x03, 1] + l_bytes(b"en-US"),
        "hive_file": list(language_store_hive()),
    }


def main():
    for target, seeds in (("protocol", protocol_seeds()), ("registry", registry_seeds()), ("lang", lang_seeds())):
        for name, data in seeds.items():
            write(os.path.join(CORPUS, target), name, data)


if __name__ == "__main__":
    main()
