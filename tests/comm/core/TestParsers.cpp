#include "tests/comm/core/TestParsers.h"

#include <QCoreApplication>
#include <QThread>

void SerialRecorderParser::serialHardwareReadData(QMSerialHardwareCommunicator*, const QByteArray& data)
{
    onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    received += data;
    ++chunks;
}
