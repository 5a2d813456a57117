#!/usr/bin/python3
"""Whole-process benchmark: qmhost as a user runs it, a fresh process per
command, against the floor (reading the input and copying a file of the
output's size) and against Assimp on the same geometry.

    /usr/bin/python3 bench/whole_process.py --build build [--rounds 7]
    /usr/bin/python3 bench/whole_process.py --build build --small   # CI: one round, small files
    /usr/bin/python3 bench/whole_process.py --build build --before OLD/qmhost   # both, interleaved
    /usr/bin/python3 bench/whole_process.py --build build --allocators   # what huge pages buy

Each round runs every command once, in a new random order, so that what the
neighbours on a shared machine do falls on all of them alike. Printed per
command: the median wall time, the median CPU time (user + system, of the
process and the children it waited for), the median peak resident set and
the fastest wall time; then the ratios the targets are about, from the
medians and from the fastest rounds. Nothing is asserted: the script ends
with 0 once every command ran and succeeded.

The input, big.msh, is written by make_bench_files (our own writer): 1,000,000
vertices and 2,000,000 triangles in 16 meshes, all in detail level 0, so that
a save with qmhost's defaults holds the whole model. Beside it, a folder of
16 files of 5 MB that `qmhost convert` takes with one job and with two. The reference files the
floor copies and Assimp reads are qmhost's own saves of it, made once at the
start. Commands whose program is missing (assimp, from assimp-utils) are left
out, and said so.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(argv, env=None):
    """Runs argv with stdout to /dev/null; returns (wall s, cpu s, peak rss bytes)."""
    environment = dict(os.environ)
    if env:
        environment.update(env)
    start = time.perf_counter()
    process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=environment)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    errors = process.stderr.read().decode(errors='replace')
    process.stderr.close()
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)} exited with {process.returncode}: {errors}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


def shell(script):
    return ['/bin/sh', '-c', script]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', required=True, help='the build folder (qmhost, bench programs)')
    parser.add_argument('--qmhost', help='the qmhost to measure (default: BUILD/qmhost)')
    parser.add_argument('--before', help='another qmhost (an older build) measured in the same rounds')
    parser.add_argument('--allocators', action='store_true',
                        help='also import and save with jemalloc on 4 KiB pages and with mimalloc')
    parser.add_argument('--rounds', type=int, default=7)
    parser.add_argument('--small', action='store_true', help='one round on small files (CI)')
    parser.add_argument('--work', help='the folder for the files (default: a temporary one)')
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    qmhost = os.path.abspath(args.qmhost or os.path.join(build, 'qmhost'))
    rounds = 1 if args.small else args.rounds
    work = args.work or tempfile.mkdtemp(prefix='qm_whole_')
    os.makedirs(work, exist_ok=True)
    memory_folder = None
    try:
        hosts = [('', qmhost)]
        if args.before:
            hosts.append((' [before]', os.path.abspath(args.before)))
        # convert's outputs also go to memory, where /dev/shm is there.
        if os.access('/dev/shm', os.W_OK):
            memory_folder = tempfile.mkdtemp(prefix='qm_whole_', dir='/dev/shm')
        return measure(build, hosts, rounds, args.small, args.allocators, work, memory_folder)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
        if memory_folder:
            shutil.rmtree(memory_folder, ignore_errors=True)


def measure(build, hosts, rounds, small, allocators, work, memory_folder):
    msh = os.path.join(work, 'big.msh')
    subprocess.run([os.path.join(build, 'make_bench_files'), work] + (['--small'] if small else []),
                   check=True)
    # The reference saves: what the floor copies and Assimp reads.
    reference = {}
    for extension in ('glb', 'gltf', 'obj'):
        reference[extension] = os.path.join(work, 'reference.' + extension)
        run([hosts[0][1], 'import', msh, '-o', reference[extension]])
    reference_mtl = os.path.join(work, 'reference.mtl')

    def out(name):
        return os.path.join(work, name)

    commands = {}
    for label, qmhost in hosts:
        tag = '-before' if label else ''
        commands.update({
            'import' + label: ([qmhost, 'import', msh], None),
            'save .glb' + label: ([qmhost, 'import', msh, '-o', out(f'out{tag}.glb')], None),
            'save .gltf' + label: ([qmhost, 'import', msh, '-o', out(f'out{tag}.gltf')], None),
            'save .obj' + label: ([qmhost, 'import', msh, '-o', out(f'out{tag}.obj')], None),
        })
        if label:
            # A qmhost on glibc's malloc: its huge pages come from the environment.
            commands['import, glibc THP' + label] = (
                [qmhost, 'import', msh], {'GLIBC_TUNABLES': 'glibc.malloc.hugetlb=1'})
    if allocators:
        # qmhost's jemalloc without its huge pages, and mimalloc in its place.
        small_pages = {'MALLOC_CONF': 'thp:default'}
        commands['import, 4 KiB pages'] = ([hosts[0][1], 'import', msh], small_pages)
        commands['save .glb, 4 KiB pages'] = (
            [hosts[0][1], 'import', msh, '-o', out('out-small.glb')], small_pages)
        mimalloc = '/usr/lib/x86_64-linux-gnu/libmimalloc.so.2'
        if os.path.exists(mimalloc):
            large = {'LD_PRELOAD': mimalloc, 'MIMALLOC_LARGE_OS_PAGES': '1'}
            commands['import, mimalloc'] = ([hosts[0][1], 'import', msh], large)
            commands['save .glb, mimalloc'] = (
                [hosts[0][1], 'import', msh, '-o', out('out-mimalloc.glb')], large)
    batch = os.path.join(work, 'batch')
    # Each save is flushed to the disk before it is renamed into place, so
    # on the disk the jobs also wait for it; the same in memory (tmpfs, where
    # a flush costs nothing) shows what the jobs themselves do.
    convert_places = [('', work)] + ([(', tmpfs', memory_folder)] if memory_folder else [])
    for label, folder in convert_places:
        for jobs in (1, 2):
            commands[f'convert 16 files -j {jobs}{label}'] = (
                [hosts[0][1], 'convert', '-q', '-j', str(jobs), batch, '-d',
                 os.path.join(folder, f'batch-j{jobs}')], None)
    commands.update({
        'assimp load .glb': ([os.path.join(build, 'assimp_load'), reference['glb']], None),
        'assimp export .glb': (['assimp', 'export', reference['glb'], out('assimp.glb')], None),
        'floor .glb': (shell(f"cat '{msh}' >/dev/null && cp '{reference['glb']}' '{out('floor.glb')}'"),
                       None),
        'floor .gltf': (shell(f"cat '{msh}' >/dev/null && "
                              f"cp '{reference['gltf']}' '{out('floor.gltf')}'"), None),
        'floor .obj': (shell(f"cat '{msh}' >/dev/null && cp '{reference['obj']}' "
                             f"'{reference_mtl}' '{work}/floor/'"), None),
    })
    os.makedirs(out('floor'), exist_ok=True)
    if shutil.which('assimp') is None:
        print('assimp (assimp-utils) is not installed: "assimp export .glb" is left out')
        del commands['assimp export .glb']

    times = {name: [] for name in commands}
    for _ in range(rounds):
        order = list(commands)
        random.shuffle(order)
        for name in order:
            argv, env = commands[name]
            times[name].append(run(argv, env))

    def median(name, field):
        return statistics.median(sample[field] for sample in times[name])

    # Interference from the neighbours only ever adds time: the fastest
    # round is the least disturbed.
    def fastest(name, field):
        return min(sample[field] for sample in times[name])

    sizes = {extension: os.path.getsize(path) for extension, path in reference.items()}
    if small:
        print('small files: the targets are about the full-size big.msh; the ratios only show '
              'that every command ran')
    print(f"big.msh {os.path.getsize(msh) / 1e6:.1f} MB; saved .glb {sizes['glb'] / 1e6:.1f} MB, "
          f".gltf {sizes['gltf'] / 1e6:.1f} MB, .obj {sizes['obj'] / 1e6:.1f} MB; "
          f"batch/ {len(os.listdir(batch))} files of "
          f"{os.path.getsize(os.path.join(batch, '00.msh')) / 1e6:.1f} MB; "
          f"medians of {rounds} interleaved rounds")
    print(f"{'command':<30}{'wall':>10}{'cpu':>10}{'peak memory':>14}{'fastest wall':>14}")
    for name in commands:
        print(f"{name:<30}{median(name, 0):>9.3f}s{median(name, 1):>9.3f}s"
              f"{median(name, 2) / 1e6:>11.1f} MB{fastest(name, 0):>13.3f}s")

    def ratio(text, over, under, target, field=0, higher=True, of=median):
        if over not in times or under not in times:
            return
        value = of(over, field) / of(under, field)
        verdict = 'ok' if (value >= target if higher else value <= target) else 'MISS'
        sign = '>=' if higher else '<='
        kind = ('wall', 'cpu', 'memory')[field] + (', fastest' if of is fastest else '')
        print(f"  {text:<52}{value:>8.2f}x  (target {sign} {target}, {kind})  {verdict}")

    print("convert of a folder (the machine's cores: "
          f"{len(os.sched_getaffinity(0))}):")
    for of in (median, fastest):
        for label, _ in convert_places:
            ratio(f'convert -j 1 / convert -j 2{label}', f'convert 16 files -j 1{label}',
                  f'convert 16 files -j 2{label}', 1.7, 0, of=of)
    for label, _ in hosts:
        print(f"ratios{label}:")
        for field, of in ((0, median), (1, median), (0, fastest)):
            ratio('assimp load .glb / qmhost import', 'assimp load .glb', 'import' + label, 8, field,
                  of=of)
            ratio('save .glb / its floor', 'save .glb' + label, 'floor .glb', 5, field, higher=False,
                  of=of)
            ratio('assimp export .glb / save .glb', 'assimp export .glb', 'save .glb' + label, 25,
                  field, of=of)
        for extension in ('glb', 'gltf', 'obj'):
            ratio(f'peak memory: save .{extension} / import', f'save .{extension}' + label,
                  'import' + label, 1.10, 2, higher=False)
        for extension in ('gltf', 'obj'):
            for field in (0, 1):
                value = (median(f'save .{extension}' + label, field) /
                         median(f'floor .{extension}', field))
                kind = ('wall', 'cpu')[field]
                print(f"  {f'save .{extension} / its floor':<52}{value:>8.2f}x  ({kind})")
        obj = os.path.getsize(out('out-before.obj' if label else 'out.obj'))
        print(f"  .obj written at {obj / median('save .obj' + label, 0) / 1e6:.0f} MB/s "
              f"(wall; {obj / median('save .obj' + label, 1) / 1e6:.0f} MB/s of CPU time)")
    return 0


if __name__ == '__main__':
    sys.exit(main())
