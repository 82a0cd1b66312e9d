#!/bin/sh
# Adds to the installer that wixl made what wixl cannot express (the build runs it after
# wixl; msibuild is of the same msitools):
# - each program's version in the File table, as its version resource gives it, so that
#   Windows Installer replaces a program by its version (a versioned file has no hash);
# - the permissions of the program data folders, C:\ProgramData\Zelvan Probe and its
#   textfile folder (MsiLockPermissionsEx, Windows Installer 5): owned by the system
#   account, full control for it and the administrators, read and list for users, nothing
#   inherited from ProgramData, where any user may create files;
# - on removal (not on an upgrade), the scheduled task registered as "Zelvan Probe" is
#   deleted with schtasks, so that it does not go on starting a program that is gone; its
#   failure (no such task) is ignored.
# usage: msi-amend.sh PACKAGE.msi FILE-VERSION
set -eu
msi=$1
version=$2
q() { msibuild "$msi" -q "$1"; }

for file in WindowExe CliExe SimExe; do
  q "UPDATE \`File\` SET \`Version\` = '$version', \`Language\` = '1033' WHERE \`File\` = '$file'"
  q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$file'"
done

q "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \`LockObject\` CHAR(72) NOT NULL,
   \`Table\` CHAR(32) NOT NULL, \`SDDL\` LONGCHAR NOT NULL LOCALIZABLE, \`Condition\` CHAR(255)
   PRIMARY KEY \`MsiLockPermissionsEx\`)"
# SY the system account, BA the administrators, BU the users; FA full control, 0x1200A9
# read, list and traverse; OICI for the files and folders inside; P: nothing inherited.
sddl='O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
for folder in DATADIR TEXTFILEDIR; do
  q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDL\`)
     VALUES ('Lock$folder', '$folder', 'CreateFolder', '$sddl')"
done

# Type 34, a program in a folder with the whole command line as its target, + 64 its exit
# code ignored + 1024 deferred (in the installation script) + 2048 as the system account.
q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`)
   VALUES ('RemoveTask', 3170, 'System64Folder', '\"[System64Folder]schtasks.exe\" /delete /tn \"Zelvan Probe\" /f')"
# After InstallInitialize (1500), before RemoveFiles (3500): the program is still there.
q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`)
   VALUES ('RemoveTask', 'REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE', 3490)"
