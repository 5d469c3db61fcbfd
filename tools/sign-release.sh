#!/usr/bin/env bash
# Signs the Maven repository that the build lays out and packs the release bundle: a detached,
# armoured FILE.asc beside each jar, the POM and the metadata, made with the GnuPG key that
# TIRK_SIGNING_KEY names (GNUPGHOME is honoured); then BUNDLE, a zip of the version's folder
# under its repository path (the jars, the POM, their checksums and signatures), which is what a
# public repository's upload takes.
#
# Usage: TIRK_SIGNING_KEY=KEY sign-release.sh REPOSITORY VERSION BUNDLE
set -euo pipefail
repository=$1
version=$2
bundle=$(realpath -m "$3")
artifact=org/tirk/terminal/tirk-console

find "$repository/$artifact" -type f ! -name '*.sha1' ! -name '*.md5' ! -name '*.asc' -print0 |
    while IFS= read -r -d '' file; do
        gpg --batch --yes --quiet --local-user "$TIRK_SIGNING_KEY" --armor --detach-sign --output "$file.asc" "$file"
    done
rm -f "$bundle"
(cd "$repository" && python3 - "$bundle" "$artifact/$version" <<'PYTHON'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as bundle:
    for name in sorted(os.listdir(sys.argv[2])):
        bundle.write(os.path.join(sys.argv[2], name))
PYTHON
)
echo "Signed $repository with $TIRK_SIGNING_KEY; release bundle $bundle"
