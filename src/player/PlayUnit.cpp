#include "MyQTMovie.h"

#include "cadenzo.h"

#include <QList>

namespace {

struct Owner {
    PlayUnitCallBack fun = nullptr;
    void* user = nullptr;
};

struct PlayUnit {
    MyPlayUnit* player = nullptr;
    QList<Owner> owners;
    void* current = nullptr;  // the owner that set the file being played
};

PlayUnit* g_hadPlayUnit = nullptr;
int g_iReporting = 0;  // depth of owner callbacks on the stack

int ownerIndex(const PlayUnit* unit, void* user)
{
    for (int i = 0; i < unit->owners.size(); ++i) {
        if (unit->owners[i].user == user)
            return i;
    }
    return -1;
}

void tellOwner(void* user, unsigned int progress, tagPlayUnitState state)
{
    const int i = g_hadPlayUnit ? ownerIndex(g_hadPlayUnit, user) : -1;
    if (!user || i < 0 || !g_hadPlayUnit->owners[i].fun)
        return;
    const Owner owner = g_hadPlayUnit->owners[i];
    ++g_iReporting;
    owner.fun(progress, state, owner.user);
    --g_iReporting;
}

// Every report of the player comes here and goes on to the owner that set
// the file: with one shared player, the first owner's callback would
// otherwise hear everything and the others nothing.
void RouteReport(unsigned int progress, tagPlayUnitState state, void* unitPtr)
{
    tellOwner(static_cast<PlayUnit*>(unitPtr)->current, progress, state);
}

void endUnit()
{
    MyPlayUnit* player = g_hadPlayUnit->player;
    player->StopPlay();
    player->ClearCallback();
    // An owner may end the unit from inside a report, with the player's
    // own code still on the stack.
    if (g_iReporting > 0)
        player->deleteLater();
    else
        delete player;
    delete g_hadPlayUnit;
    g_hadPlayUnit = nullptr;
}

} // namespace

MyPlayUnit* PlayUnit_Player()
{
    return g_hadPlayUnit ? g_hadPlayUnit->player : nullptr;
}

int PlayUnit_Create(PlayUnitCallBack fun, void* user)
{
    if (!g_hadPlayUnit) {
        g_hadPlayUnit = new PlayUnit;
        g_hadPlayUnit->player = new MyPlayUnit(RouteReport, g_hadPlayUnit);
    } else if (ownerIndex(g_hadPlayUnit, user) >= 0) {
        return -1;
    }
    g_hadPlayUnit->owners.append(Owner{fun, user});
    return 0;
}

void PlayUnit_Destroy(void* user)
{
    if (!g_hadPlayUnit)
        return;
    const int i = ownerIndex(g_hadPlayUnit, user);
    if (i < 0)
        return;
    g_hadPlayUnit->owners.removeAt(i);
    if (g_hadPlayUnit->owners.isEmpty()) {
        endUnit();
        return;
    }
    // Nobody is left to hear about this owner's file, and its callback
    // must not run once the owner is gone.
    if (g_hadPlayUnit->current == user) {
        g_hadPlayUnit->player->StopPlay();
        g_hadPlayUnit->current = nullptr;
    }
}

int PlayUnit_SetMediaFile(const char* path, void* user)
{
    if (!g_hadPlayUnit || ownerIndex(g_hadPlayUnit, user) < 0)
        return -2;
    void* dropped = PlayUnit_FileOwner();
    g_hadPlayUnit->current = user;
    const int result = g_hadPlayUnit->player->SetMediaFile(path);
    // Told after the switch, so an owner that stops its preview on the
    // report finds the file is no longer its own.
    if (dropped && dropped != user)
        tellOwner(dropped, PROGRESS_FULL, PU_ENDED);
    return result;
}

void* PlayUnit_FileOwner()
{
    if (!g_hadPlayUnit || !g_hadPlayUnit->player->pQTMovie())
        return nullptr;
    return g_hadPlayUnit->current;
}

int PlayUnit_Start()
{
    return g_hadPlayUnit ? g_hadPlayUnit->player->StartPlay() : -2;
}

int PlayUnit_Stop()
{
    if (!g_hadPlayUnit)
        return -2;
    g_hadPlayUnit->player->StopPlay();
    return 0;
}

int PlayUnit_Pause()
{
    if (!g_hadPlayUnit)
        return -1;
    g_hadPlayUnit->player->Pauseplay();
    return 0;
}

int PlayUnit_SeekTo(unsigned int ms)
{
    if (!g_hadPlayUnit)
        return -1;
    g_hadPlayUnit->player->SeekTo(ms);
    return 0;
}

int PlayUnit_ChangeVolume(float volume)
{
    if (!g_hadPlayUnit)
        return -1;
    g_hadPlayUnit->player->ChangeVloume(volume);
    return 0;
}
