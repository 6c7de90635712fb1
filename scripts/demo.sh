#!/bin/sh
# The main job: installs what is missing, builds the plug-in (Linux module and
# Windows DLL) and the reference host, shows what a host reads from the
# plug-in, and writes a contact sheet of every preset on a built-in chart.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build-codecs.sh windows
for preset in linux windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target sepia sepia-host >/dev/null
done
echo "Built build/linux/sepia.so and build/windows/sepia.dll"
echo
./build/linux/sepia-host info build/linux/sepia.so
echo
./build/linux/sepia-host sheet build/linux/sepia.so build/linux/contact-sheet.png
echo "Open $PWD/build/linux/contact-sheet.png to see every preset."
echo "Tone your own pictures:"
echo "  build/linux/sepia-host apply build/linux/sepia.so --preset \"Sepia 2\" IN.jpg OUT.jpg"
echo "  build/linux/sepia-host apply build/linux/sepia.so --preset \"Sepia 2\" --output-dir toned photos/*.jpg"
