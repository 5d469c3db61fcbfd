#!/usr/bin/env bash
# Makes in FOLDER, or removes again, folders in which nothing can be written: read-only and
# read-only-parent, empty and immutable (which stops root too), and full, a tiny file system with
# no space left. Where one cannot be made, NAME.why says why. "up" first removes an earlier run's.
# Usage: unwritable-folders.sh up|down FOLDER
set -u
folder=$2
if [ -d "$folder" ]; then
    chattr -i "$folder"/read-only* 2>/dev/null
    mountpoint -q "$folder/full" && umount "$folder/full"
    rm -rf "$folder"
fi
[ "$1" = down ] && exit 0
mkdir -p "$folder"/{read-only,read-only-parent,full}
for name in read-only read-only-parent; do
    chattr +i "$folder/$name" 2>"$folder/$name.why" && rm "$folder/$name.why"
done
mount -t tmpfs -o size=64k,mode=0700 tmpfs "$folder/full" 2>"$folder/full.why" && rm "$folder/full.why" &&
    head -c 1M /dev/zero >"$folder/full/filler" 2>/dev/null
exit 0
