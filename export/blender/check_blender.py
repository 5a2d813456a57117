# Imports the saved sample into Blender, as a person would, and checks what
# they would see. Run by export/check-blender.sh:
#
#   blender -b --factory-startup --python export/blender/check_blender.py -- \
#       SAMPLE.json SAMPLE.glb SAMPLE.gltf SAMPLE.obj
#
# For each file: the model lies flat (its thin axis along Blender's +Z, which
# is up there) with the turret on top of the hull; detail level 0 alone; the
# materials show their images. For glTF also: object names and parents as the
# file's tree, and each marker point an empty at its place. Across the files:
# every corner of the hull shows the same texel in each, so the texture's v
# runs the same way whatever the format. Prints one line per check and exits
# 1 when one fails.
import json
import sys

import numpy as np

# Debian's glTF importer still names numpy's removed alias.
np.bool = bool

import bpy  # noqa: E402  (after the alias)
import mathutils  # noqa: E402

failures = []


def check(condition, text):
    print(('ok      ' if condition else 'FAILED  ') + text)
    if not condition:
        failures.append(text)


def load(path):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    if path.endswith('.obj'):
        bpy.ops.wm.obj_import(filepath=path)
    else:
        bpy.ops.import_scene.gltf(filepath=path)
    return {o.name: o for o in bpy.data.objects}


def world_points(obj):
    return [obj.matrix_world @ v.co for v in obj.data.vertices]


def bounds(objects):
    points = [p for o in objects for p in world_points(o)]
    low = [min(p[n] for p in points) for n in range(3)]
    high = [max(p[n] for p in points) for n in range(3)]
    return low, high


def images_of(material):
    if material is None or material.node_tree is None:
        return []
    return [n.image for n in material.node_tree.nodes
            if n.type == 'TEX_IMAGE' and n.image is not None and n.image.size[0] > 0]


def texel(image, uv, cache={}):
    """The image's colour at uv (Blender's: v up from the bottom row)."""
    if image.name not in cache:
        cache[image.name] = list(image.pixels)
    pixels = cache[image.name]
    width, height = image.size
    x = min(max(int(uv[0] * width), 0), width - 1)
    y = min(max(int(uv[1] * height), 0), height - 1)
    at = 4 * (y * width + x)
    return tuple(round(c, 3) for c in pixels[at:at + 3])


def corner_texels(obj):
    """Each corner of each face, by its place and its face's normal, and the texel it shows."""
    mesh = obj.data
    uvs = mesh.uv_layers.active.data
    found = {}
    for polygon in mesh.polygons:
        image = images_of(obj.material_slots[polygon.material_index].material)[0]
        normal = tuple(round(c, 3) for c in (obj.matrix_world.to_3x3() @ polygon.normal))
        for loop in polygon.loop_indices:
            vertex = mesh.vertices[mesh.loops[loop].vertex_index]
            place = tuple(round(c, 4) for c in (obj.matrix_world @ vertex.co))
            found[(place, normal)] = texel(image, uvs[loop].uv)
    return found


def level_of(name):
    if len(name) >= 7 and name[0] == 'L' and name[3:5] == 'LD' and name[5:7].isdigit():
        return int(name[5:7])
    return None


def check_file(path, model):
    kind = path.rsplit('.', 1)[1]
    objects = load(path)
    meshes = [o for o in objects.values() if o.type == 'MESH' and len(o.data.vertices) > 0]
    print(f'{path}: {len(objects)} objects')

    # Lies flat: the thin axis is Blender's up, and the turret sits on the hull.
    low, high = bounds(meshes)
    extent = [high[n] - low[n] for n in range(3)]
    check(extent[2] < extent[0] and extent[2] < extent[1],
          f'{kind}: lies flat, its extents x {extent[0]:.2f}, y {extent[1]:.2f}, z {extent[2]:.2f}')
    hull = objects.get('L00LD00M00')
    turret = objects.get('L01LD00M00')
    check(hull is not None and turret is not None and
          bounds([turret])[0][2] >= bounds([hull])[1][2],
          f'{kind}: the turret (L01LD00M00) sits on top of the hull (L00LD00M00)')

    # Level 0 alone, every saved mesh as an object.
    levels = {level_of(name) for name in objects}
    check(levels <= {None, 0}, f'{kind}: detail level 0 alone (levels seen: {sorted(l for l in levels if l is not None)})')
    expected = [m['name'] for m in model['meshes'] if level_of(m['name']) in (None, 0) and m['vertices']]
    # OBJ readers take an object's name up to a space as it is written.
    missing = [name for name in expected if name not in objects]
    check(not missing, f'{kind}: an object per saved mesh, named as the mesh (missing: {missing})')

    # Materials with their images.
    for material in model['materials']:
        if material['name'].startswith('#'):
            continue
        blender = bpy.data.materials.get(material['name'])
        check(blender is not None and images_of(blender),
              f'{kind}: material {material["name"]} shows an image texture')

    if kind != 'obj':
        # The tree: groups, their level 0, its meshes; the markers, their points.
        def parent(name):
            obj = objects.get(name)
            return obj.parent.name if obj is not None and obj.parent is not None else None
        roots = sorted(o.name for o in objects.values() if o.parent is None)
        check(roots == ['group 0', 'group 1', 'hardpoints'], f'{kind}: roots {roots}')
        for child, owner in [('L00LD00#red 100.00#', 'group 0'), ('L00LD00M00', 'L00LD00#red 100.00#'),
                             ('L01LD00M01', 'L01LD00#red 060.00#'), ('#dock_main#', 'hardpoints'),
                             ('#dock_main# 3', '#dock_main#')]:
            check(parent(child) == owner, f'{kind}: {child} is a child of {owner} (it is of {parent(child)})')
        # Every marker point an empty at the point: the points of the sample's
        # hardpoints, in the host's coordinates, which are Blender's too.
        points = {'#blink_tail# 1': (1.5, 5, 0.2), '#dock_main# 1': (0, 0, -1.6),
                  '#dock_main# 2': (0, 0, 1.6), '#slot_cargo# 2': (-1.5, -1.8, -0.5),
                  '#fire_engine# 0': (-4.7, 0, 0), '#light_nav# 1': (0, -5.2, 0),
                  '#booster_left# 1': (-5.4, 0.4, 0)}
        for name, place in points.items():
            obj = objects.get(name)
            at = obj.matrix_world.translation if obj is not None else None
            check(obj is not None and obj.type == 'EMPTY' and
                  (at - mathutils.Vector(place)).length < 1e-5,
                  f'{kind}: {name} is an empty at {place} (found {tuple(at) if at else None})')
        empties = [o for o in objects.values() if o.type == 'EMPTY' and o.parent is not None
                   and o.parent.name.startswith('#')]
        check(len(empties) == 20, f'{kind}: 20 marker points as empties ({len(empties)})')
    else:
        # Lone marker points kept: two for the nav lights.
        light = objects.get('#light_nav#')
        check(light is not None and len(light.data.vertices) == 2,
              f'{kind}: #light_nav# keeps its 2 lone points')

    return corner_texels(hull) if hull is not None else {}


def main():
    arguments = sys.argv[sys.argv.index('--') + 1:]
    with open(arguments[0]) as json_file:
        model = json.load(json_file)
    texels = {path.rsplit('.', 1)[1]: check_file(path, model) for path in arguments[1:]}
    reference = texels.get('glb', {})
    # The hull's picture is light above and dark below: its corners show both.
    brightness = [sum(colour) / 3 for colour in reference.values()]
    check(brightness and max(brightness) - min(brightness) > 0.2,
          'the hull\'s corners show both halves of its picture (brightness from '
          f'{min(brightness, default=0):.2f} to {max(brightness, default=0):.2f})')
    for kind, found in texels.items():
        same = sum(1 for key, colour in reference.items() if found.get(key) == colour)
        check(same == len(reference) and len(found) == len(reference),
              f'{kind}: {same} of {len(reference)} hull corners show the texel the .glb shows')
    print(f'{len(failures)} failed')
    sys.exit(1 if failures else 0)


main()
