#!/usr/bin/env bash
# Checks a built Debian package: the files an installed desktop program needs
# are in it, nothing else from the build is, and its Depends name the Debian
# packages of what it links and of the plugins Qt loads at run time.
set -euo pipefail
deb=${1:?usage: scripts/check-package.sh FILE.deb}
fail=0
complain() { echo "check-package: $*" >&2; fail=1; }

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
for f in /usr/bin/hchat /usr/bin/hchat-server \
         /usr/share/halvex-chat/chat.dll \
         /usr/share/halvex-chat/Media/{Notify,TaDa,Chimes,Chord}.wav \
         /usr/share/halvex-chat/{halvexhelp,tv.sh} \
         /usr/share/halvex-chat/web/{index.html,help/chat/index.html,mon/index.html} \
         /usr/share/applications/com.halvex.chat.desktop \
         /usr/share/icons/hicolor/scalable/apps/com.halvex.chat.svg \
         /usr/share/metainfo/com.halvex.chat.metainfo.xml; do
  grep -qxF "$f" <<<"$files" || complain "missing $f"
done
grep -qE '^/usr/lib/(.+/)?halvex-chat/plugins/hchat_webpane\.so$' <<<"$files" || complain "missing the web pane plugin"
unexpected=$(grep -vE '^/usr/(bin/hchat(-server)?|share/halvex-chat/.+|lib/(.+/)?halvex-chat/plugins/.+|share/(applications|icons/hicolor/scalable/apps|metainfo)/com\.halvex\.chat\..+)$' <<<"$files" || true)
[ -z "$unexpected" ] || complain "files that do not belong in the package:"$'\n'"$unexpected"

depends=$(dpkg-deb -f "$deb" Depends)
for p in qt6-speech-flite-plugin libqt6svg6 libqt6widgets6 libqt6network6 libqt6texttospeech6 \
         libqt6multimedia6 libqt6quick6 qml6-module-qtwebengine libsodium23 libc6; do
  grep -qE "(^|, )$p( |,|$)" <<<"$depends" || complain "Depends lacks $p: $depends"
done

if [ "$fail" -ne 0 ]; then
  exit 1
fi
echo "check-package: $(basename "$deb") holds $(wc -l <<<"$files") files; Depends: $depends"
