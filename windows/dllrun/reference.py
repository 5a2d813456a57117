"""What qmhost makes of a file, in the form the DLL runs are compared in.

A model is compared as a plain structure: names as bytes, integers as they
are, and each float as its 32-bit pattern, or "nan" (qmhost's JSON writes every
NaN as the string "nan", so a NaN's payload cannot be compared). qmhost's JSON
has each float in the fewest digits that read back as the same float32; here
the digits are turned into that float32 exactly (rational arithmetic, round
to nearest even), never through a double.
"""

import json
import os
import subprocess
from fractions import Fraction


class Bits(int):
    """A float32 as its bit pattern, shown in hex."""

    def __repr__(self):
        return "0x%08x" % self


def float_bits(bits):
    """The compared form of a float32's bits: every NaN is "nan"."""
    if bits & 0x7F800000 == 0x7F800000 and bits & 0x007FFFFF:
        return "nan"
    return Bits(bits)


SPECIAL = {"nan": "nan", "inf": Bits(0x7F800000), "-inf": Bits(0xFF800000)}


def float32_bits(text):
    """The bits of the float32 nearest to the decimal `text`."""
    text = str(text)
    if text in SPECIAL:
        return SPECIAL[text]
    negative = text.startswith("-")
    value = abs(Fraction(text))
    sign = 0x80000000 if negative else 0
    if value == 0:
        return Bits(sign)
    n, d = value.numerator, value.denominator
    exponent = n.bit_length() - d.bit_length()  # 2^exponent <= value < 2^(exponent+2)
    if (n << max(0, -exponent)) < (d << max(0, exponent)):
        exponent -= 1
    exponent = max(exponent, -126)
    shift = exponent - 23  # the value of the last mantissa bit
    numerator, denominator = (n, d << shift) if shift >= 0 else (n << -shift, d)
    mantissa, remainder = divmod(numerator, denominator)
    if 2 * remainder > denominator or (2 * remainder == denominator and mantissa & 1):
        mantissa += 1
    if mantissa == 1 << 24:
        mantissa >>= 1
        exponent += 1
    if exponent > 127:
        return Bits(sign | 0x7F800000)
    if mantissa < 1 << 23:
        return Bits(sign | mantissa)  # subnormal
    return Bits(sign | (exponent + 127) << 23 | (mantissa - (1 << 23)))


COLOURS = ("ambient", "diffuse", "specular", "emissive")


def _floats(values):
    return [float32_bits(v) for v in values]


def _name(text):
    # Each byte of a host name is written as the code point of the same value.
    return text.encode("latin-1")


def canonical_model(json_text):
    """qmhost's JSON model (version 1) as HostModel.snapshot gives a model."""
    doc = json.loads(json_text, parse_float=str, parse_constant=str)
    if doc.get("format") != "qmhost-model" or doc.get("version") != 1:
        raise ValueError("not a qmhost-model document of version 1")
    return {
        "totalFrames": doc["totalFrames"],
        "meshes": [{
            "name": _name(mesh["name"]),
            "material": mesh["material"],
            "vertices": [{"position": _floats(v["position"]), "texCoords": _floats(v["texCoords"]),
                          "boneIndex": v["boneIndex"]} for v in mesh["vertices"]],
            "normals": [_floats(n) for n in mesh["normals"]],
            "triangles": [{"vertices": t["vertices"], "normals": t["normals"]}
                          for t in mesh["triangles"]],
        } for mesh in doc["meshes"]],
        "materials": [dict({"name": _name(m["name"])},
                           **{k: _floats(m[k]) for k in COLOURS},
                           shininess=float32_bits(m["shininess"]),
                           transparency=float32_bits(m["transparency"]))
                      for m in doc["materials"]],
    }


def first_difference(got, want, path="model"):
    """Where two canonical models first differ, as text; None when they are
    the same."""
    if isinstance(want, dict):
        for key in want:
            if key not in got:
                return "%s.%s is missing" % (path, key)
            found = first_difference(got[key], want[key], "%s.%s" % (path, key))
            if found:
                return found
        return None
    if isinstance(want, (list, tuple)) and not isinstance(want, (bytes, str)):
        if not isinstance(got, (list, tuple)):
            return "%s: %r, qmhost %r" % (path, got, want)
        for n, (a, b) in enumerate(zip(got, want)):
            found = first_difference(a, b, "%s[%d]" % (path, n))
            if found:
                return found
        if len(got) != len(want):
            return "%s: %d entries, qmhost %d" % (path, len(got), len(want))
        return None
    if got != want or type(got) is not type(want):
        return "%s: %r, qmhost %r" % (path, got, want)
    return None


def plugin_messages(stderr, path):
    """The texts of the plug-in's message boxes in the standard error of
    `qmhost import PATH`, in order. The one place that knows how qmhost shows
    them: a line each, either the text alone or `qmhost: PATH: "text"`;
    qmhost's other lines begin with "qmhost: "."""
    quoted = b"qmhost: " + os.fsencode(path) + b': "'
    messages = []
    for line in stderr.split(b"\n"):
        if line.startswith(quoted) and line.endswith(b'"'):
            messages.append(line[len(quoted):-1])
        elif line and not line.startswith(b"qmhost: "):
            messages.append(line)
    return messages


COULD_NOT_OPEN = b"Couldn't open the file"
EMPTY_MODEL = '{"format":"qmhost-model","version":1,"totalFrames":0,"meshes":[],"materials":[]}'


class Reference:
    """qmhost's model (canonical) and the plug-in's messages for one file."""

    def __init__(self, model, messages):
        self.model = model
        self.messages = messages


def qmhost_reference(qmhost, path, json_path):
    """Runs `qmhost import PATH -o JSON_PATH` and reads what it made."""
    if os.path.exists(json_path):
        os.unlink(json_path)
    run = subprocess.run([qmhost, "import", path, "-o", json_path], capture_output=True,
                         timeout=120)
    messages = plugin_messages(run.stderr, path)
    # A file the plug-in could not open leaves the model as it was, and
    # qmhost then writes nothing: the reference is the fresh, empty model.
    if run.returncode == 1 and not os.path.exists(json_path) and messages == [COULD_NOT_OPEN]:
        return Reference(canonical_model(EMPTY_MODEL), messages)
    if run.returncode not in (0, 1) or not os.path.exists(json_path):
        raise RuntimeError("qmhost import %s exited with %d: %s" % (
            path, run.returncode, run.stderr.decode("latin-1").strip()))
    with open(json_path, encoding="utf-8") as f:
        model = canonical_model(f.read())
    return Reference(model, messages)


def compare(model, messages, reference):
    """None when a run built qmhost's model and showed its messages; else
    what differs."""
    if messages != reference.messages:
        return "messages %r, qmhost %r" % ([m.decode("latin-1") for m in messages],
                                           [m.decode("latin-1") for m in reference.messages])
    return first_difference(model, reference.model)
