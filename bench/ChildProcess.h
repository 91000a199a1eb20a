#pragma once

// The benchmark's children: each a fresh process of this program, so that what a copy or a
// plain loop costs in time and memory is its own. The benchmark stops and continues them
// to make them take turns; each ends by printing a line "RESULT word word ...".

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

void startChild(QProcess& child, const QStringList& arguments, const QProcessEnvironment& environment);
// The words of the RESULT line of a child that has ended, after checking that it ended well.
QList<QByteArray> resultOf(QProcess& child, int words, const char* what);
// Stops a child (SIGSTOP) and returns once it is stopped, or has ended.
void stopChild(QProcess& child);
// Returns once a child is stopped (it may stop itself), or has ended.
void waitStopped(QProcess& child);
void continueChild(QProcess& child);
