# Draws a saved .glb as Blender imports it, with Cycles on the CPU (no window
# or graphics card needed), from a three-quarter view like `qmhost render`'s:
#
#   build/qmhost import samples/sample.msh -o /tmp/sample.glb
#   blender -b --factory-startup --python export/blender/render_sample.py -- \
#       /tmp/sample.glb docs/sample-blender.png
#
# The picture in the README beside qmhost's own. Only what renders shows: the
# markers' points are empties, seen in Blender's viewport, not in a render.
import sys

import numpy as np

# Debian's glTF importer still names numpy's removed alias.
np.bool = bool

import bpy  # noqa: E402  (after the alias)
import mathutils  # noqa: E402

source, picture = sys.argv[sys.argv.index('--') + 1:][:2]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=source)
scene = bpy.context.scene

# Frame what has faces.
points = [o.matrix_world @ v.co for o in scene.objects if o.type == 'MESH' and o.data.polygons
          for v in o.data.vertices]
low = mathutils.Vector([min(p[n] for p in points) for n in range(3)])
high = mathutils.Vector([max(p[n] for p in points) for n in range(3)])
centre = (low + high) / 2
size = (high - low).length

camera = bpy.data.objects.new('camera', bpy.data.cameras.new('camera'))
scene.collection.objects.link(camera)
camera.data.type = 'ORTHO'
camera.data.ortho_scale = size * 0.8
camera.location = centre + mathutils.Vector((1.0, -1.0, 0.9)).normalized() * size * 2
camera.rotation_euler = (centre - camera.location).to_track_quat('-Z', 'Y').to_euler()
scene.camera = camera

sun = bpy.data.objects.new('sun', bpy.data.lights.new('sun', 'SUN'))
scene.collection.objects.link(sun)
sun.data.energy = 3.5
sun.rotation_euler = (mathutils.Vector((0.4, -0.8, 1.0)).normalized() * -1).to_track_quat(
    '-Z', 'Y').to_euler()

world = bpy.data.worlds.new('world')
world.use_nodes = True
world.node_tree.nodes['Background'].inputs['Color'].default_value = (0.022, 0.025, 0.033, 1)
world.node_tree.nodes['Background'].inputs['Strength'].default_value = 1.0
scene.world = world

scene.render.engine = 'CYCLES'
scene.cycles.device = 'CPU'
scene.cycles.samples = 256
scene.cycles.use_denoising = False
scene.render.resolution_x = 800
scene.render.resolution_y = 600
scene.render.film_transparent = False
scene.view_settings.view_transform = 'Standard'
scene.render.filepath = picture
scene.render.image_settings.file_format = 'PNG'
scene.render.image_settings.color_mode = 'RGB'
scene.render.image_settings.compression = 100
bpy.ops.render.render(write_still=True)
