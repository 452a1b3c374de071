#!/usr/bin/env bash
# Prints a deb-src entry (deb822) for bookworm main, on the archive and with the key of the
# machine's own deb entry for bookworm main.
set -euo pipefail
suite=bookworm
component=main

target=$(apt-get indextargets --format '$(REPO_URI) $(SOURCESENTRY)' \
  "Release: $suite" "Component: $component" 'Target-Of: deb' | head -n 1)
if [[ -z "$target" ]]; then
  echo "No deb entry for $suite $component in the apt sources: RE2's source package cannot be fetched." >&2
  exit 1
fi
uri=${target%% *}
entry=${target#* }
file=${entry%:*}
line=${entry##*:}

# The entry's key: Signed-By of its deb822 stanza, or signed-by= of its one-line form.
if [[ "$file" == *.sources ]]; then
  signed_by=$(awk -v from="$line" 'NR >= from && /^[[:space:]]*$/ { exit }
    NR >= from && tolower($1) == "signed-by:" { print $2; exit }' "$file")
else
  signed_by=$(sed -n "${line}s/.*signed-by=\([^] ]*\).*/\1/p" "$file")
fi

echo "Types: deb-src"
echo "URIs: $uri"
echo "Suites: $suite"
echo "Components: $component"
[[ -z "$signed_by" ]] || echo "Signed-By: $signed_by"
