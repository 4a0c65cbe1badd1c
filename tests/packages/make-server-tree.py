#!/usr/bin/env python3
"""Lays out the download server's files for the tests and the demo:
make-server-tree.py <stubpkg.exe> <packages-source-folder> <output-root>

Every program package is a copy of the stub program; the parser packages
and the product are real Windows Installer packages built with wixl; the
licence archive holds the files of the source folder's "eula" folder."""
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

stub, source, root = sys.argv[1:4]
files = os.path.join(root, "esd", "en", "tessal", "installfiles")


def place(relative, data_path):
    target = os.path.join(files, relative)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(data_path, target)


def zip_one(relative, inner_name, data_path):
    target = os.path.join(files, relative)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.write(data_path, inner_name)


for relative in ("MSI/WindowsInstaller-KB893803-v2-x86.exe", "VC9/vcredist_x86.exe", "VC9/vcredist_x64.exe",
                 "dotNet/dotNetFx35setup.exe"):
    place(relative, stub)

with tempfile.TemporaryDirectory() as work:
    dxsetup = os.path.join(work, "DXSETUP.exe")
    shutil.copyfile(stub, dxsetup)
    zip_one("DIRECT3D/D3DXCORE.zip", "DXSETUP.exe", dxsetup)
    # The same package with an entry that climbs out of its folder first.
    os.makedirs(os.path.join(root, "fixtures"), exist_ok=True)
    with zipfile.ZipFile(os.path.join(root, "fixtures", "D3DXCORE-escape.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("../tessal-escaped.txt", "written outside the extraction folder")
        archive.write(dxsetup, "DXSETUP.exe")

    template = open(os.path.join(source, "msxml.wxs.in"), encoding="utf-8").read()
    parsers = [
        ("MSXML/msxml6.msi", "{AEB9948B-4FF2-47C9-990E-47014492A0FE}", "Test MSXML 6 x86",
         "{7D5C1E90-1111-4A6B-9C0D-0E1F2A3B4C01}", "{7D5C1E90-2222-4A6B-9C0D-0E1F2A3B4C02}"),
        ("MSXML/msxml6_x64.msi", "{FF59CB23-1800-4047-B40C-E20AE7051491}", "Test MSXML 6 x64",
         "{7D5C1E90-3333-4A6B-9C0D-0E1F2A3B4C03}", "{7D5C1E90-4444-4A6B-9C0D-0E1F2A3B4C04}"),
    ]
    for relative, code, name, upgrade, component in parsers:
        wxs = os.path.join(work, "parser.wxs")
        with open(wxs, "w", encoding="utf-8") as f:
            f.write(template.replace("@CODE@", code).replace("@NAME@", name)
                    .replace("@UPGRADE@", upgrade).replace("@COMPONENT@", component))
        msi = os.path.join(work, "parser.msi")
        subprocess.run(["wixl", "-o", msi, wxs], check=True)
        place(relative, msi)

    shutil.copyfile(os.path.join(source, "product.wxs"), os.path.join(work, "product.wxs"))
    shutil.copyfile(stub, os.path.join(work, "bpts.exe"))
    product = os.path.join(work, "BPTS.msi")
    subprocess.run(["wixl", "-o", product, os.path.join(work, "product.wxs")], check=True)
    zip_one("TESSAL/TESSAL.zip", "BPTS.msi", product)

    # An earlier version of the product, for the removal runs; it is not on
    # the vendor's paths, the tests install it themselves.
    older = open(os.path.join(work, "product.wxs"), encoding="utf-8").read().replace("2.0.0.0", "1.0.0.0")
    with open(os.path.join(work, "product-old.wxs"), "w", encoding="utf-8") as f:
        f.write(older)
    os.makedirs(os.path.join(root, "fixtures"), exist_ok=True)
    subprocess.run(["wixl", "-o", os.path.join(root, "fixtures", "BPTS-old.msi"), os.path.join(work, "product-old.wxs")],
                   check=True)

# The licence archive: the index and the RTF texts, flat, as the vendor serves it.
eula = os.path.join(source, "eula")
with zipfile.ZipFile(os.path.join(root, "esd", "en", "tessal", "eula.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
    for name in sorted(os.listdir(eula)):
        archive.write(os.path.join(eula, name), name)

with open(os.path.join(root, "esd", "en", "tessal", "update.txt"), "w") as f:
    f.write("#2.0.0.0\n")
