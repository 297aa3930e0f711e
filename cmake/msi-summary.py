#!/usr/bin/python3
"""Writes an installer's package code and, when given, its creation and
last-saved times (Unix seconds) into its summary information.

  msi-summary.py MSI {PACKAGE-CODE} [SECONDS]

Uses msitools' libmsi through GObject introspection (gir1.2-libmsi-1.0).
"""
import sys

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402

path, package_code = sys.argv[1], sys.argv[2]
database = Libmsi.Database.new(path, Libmsi.DbFlags.TRANSACT, None)
summary = Libmsi.SummaryInfo.new(database, 8)
summary.set_string(Libmsi.Property.UUID, package_code)
if len(sys.argv) > 3:
    # FILETIME: 100-nanosecond steps since 1601-01-01.
    filetime = (int(sys.argv[3]) + 11644473600) * 10**7
    summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
summary.persist()
database.commit()
