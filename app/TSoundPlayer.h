#pragma once

#include <QObject>

class QSoundEffect;

// The program's one sound: once after a file while the viewer shows, five times when all is done.
// Without an audio device it stays silent.
class TSoundPlayer : public QObject
{
public:
    explicit TSoundPlayer(QObject *parent = nullptr);

    void PlayDoneSound();
    void PlayEndSound();

private:
    void Play(int times);

    QSoundEffect *FEffect = nullptr;
    bool FNoDevice = false;
};
