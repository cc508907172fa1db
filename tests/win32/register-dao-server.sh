#!/bin/sh
# Registers the stand-in DAO server in the Wine prefix named by WINEPREFIX under both DAO
# ProgIDs and checks that they now name it. Refuses to work on Wine's default prefix.
set -eu
dll=${1:?usage: register-dao-server.sh <DaoServer.dll>}
if [ -z "${WINEPREFIX:-}" ] || [ "$(realpath -m "$WINEPREFIX")" = "$(realpath -m "$HOME/.wine")" ]; then
  echo "register-dao-server.sh: set WINEPREFIX to a test prefix (scripts/wine-prefix.sh makes one)" >&2
  exit 1
fi
path=$(winepath -w "$dll")
wine regsvr32 /s "$path"
wine regsvr32 /s /n /i:36 "$path"
for progid in DAO.DBEngine.120 DAO.DBEngine.36; do
  wine reg query "HKCR\\$progid\\CLSID" | tr -d '\r' | grep -q '{667C4687-A567-42B9-98E9-D83BCEB6CA6D}' || {
    echo "register-dao-server.sh: $progid is not the stand-in after registering $dll" >&2
    exit 1
  }
done
echo "stand-in DAO server registered in $WINEPREFIX"
