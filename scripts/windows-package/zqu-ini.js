// Custom action of the Windows Installer package: makes zqu.ini from its template only where
// the program folder has none. The file is not the package's, so removing the package leaves
// it, and an existing one is never touched.
function MakeZquIni() {
    var folder = Session.Property("INSTALLDIR");
    var fso = new ActiveXObject("Scripting.FileSystemObject");
    if (!fso.FileExists(folder + "zqu.ini") && fso.FileExists(folder + "zqu.ini.template"))
        fso.CopyFile(folder + "zqu.ini.template", folder + "zqu.ini", false);
    return 1;
}
