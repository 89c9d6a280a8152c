// Stacking: stack nodes and headers group the bodies that rest on one another,
// the stacking stage validates supports and regroups stacks, and island marking
// gathers a stack's bodies and rest rows for the solver. Also the operations of
// constraint sets that the island set shares with joints.

#include "Physics/RbSimulator.h"

#include <initializer_list>

namespace {

void WakeUnlessInSet(RbRigidBody* body) {
    if (!body->constraintSet) body->WakeUp();
}

} // namespace

// ---------------------------------------------------------------- node lists

void RbStackHeader::AppendNode(RbStackNode* node) {
    node->owner = this;
    RbListAppend<RbStackNode, &RbStackNode::next, &RbStackNode::prev>(firstNode, lastNode, node);
    ++nodeCount;
}

void RbStackHeader::UnlinkNode(RbStackNode* node) {
    if (node->owner != this) return;
    RbListUnlink<RbStackNode, &RbStackNode::next, &RbStackNode::prev>(firstNode, lastNode, node);
    node->owner = nullptr;
    --nodeCount;
}

void RbStackHeader::MergeInto(RbStackHeader* target) {
    if (!target || target == this || !firstNode) return;
    for (RbStackNode* n = firstNode; n; n = n->next) n->owner = target;
    firstNode->prev = target->lastNode;
    if (target->lastNode)
        target->lastNode->next = firstNode;
    else
        target->firstNode = firstNode;
    target->lastNode = lastNode;
    target->nodeCount += nodeCount;
    firstNode = lastNode = nullptr;
    nodeCount = 0;
}

// ---------------------------------------------------------------- pools

RbStackNode* RbSimulator::TakeStackNode() {
    RbStackNode* node = m_stackNodePool.TakeFresh();
    if (!node) Logf(1, "Stacking Buffer full Error. Please contact techincal support\n");
    return node;
}

void RbSimulator::GiveStackNode(RbStackNode* node) {
    if (!node || !node->inUse) return;
    node->owner = nullptr;
    node->next = node->prev = nullptr;
    node->body = nullptr;
    m_stackNodePool.Give(node);
}

RbStackHeader* RbSimulator::NewStackHeader(RbStackNode* first) {
    RbStackHeader* h = m_stackHeaderPool.TakeFresh();
    // The header pool is larger than the node pool, so this does not fail while
    // nodes can be had; a caller still never writes through a missing header.
    if (!h) return nullptr;
    h->simulator = this;
    RbListAppend<RbStackHeader, &RbStackHeader::next, &RbStackHeader::prev>(m_stackHead, m_stackTail, h);
    if (first) h->AppendNode(first);
    return h;
}

void RbSimulator::FreeStackHeader(RbStackHeader* h) {
    if (!h || !h->inUse || h->isLooseList) return;
    RbListUnlink<RbStackHeader, &RbStackHeader::next, &RbStackHeader::prev>(m_stackHead, m_stackTail, h);
    h->firstNode = h->lastNode = nullptr;
    h->nodeCount = 0;
    m_stackHeaderPool.Give(h);
}

// ---------------------------------------------------------------- joining stacks

int RbRigidBody::AddSupportNode(RbStackHeader* header) {
    if (!header) return 0;
    RbStackNode* node = owner->TakeStackNode();
    if (!node) return 0;
    node->body = this;
    node->supportOnly = 1;
    stackNode = node;
    header->AppendNode(node);
    return 1;
}

int RbRigidBody::CreateStackNode(const RbRestContact& candidate) {
    RbSimulator* sim = owner;
    RbStackNode* node = sim->TakeStackNode();
    if (!node) return 0;
    node->body = this;
    stackNode = node;
    AddRestContact(candidate);
    RbStackHeader* loose = sim->GetLooseList();
    RbRigidBody* other = RbRigidOf(candidate.otherBody);
    if (!other) {
        loose->AppendNode(node);
        return 1;
    }
    RbStackNode* otherNode = other->stackNode;
    if (!otherNode) {
        RbStackHeader* h = sim->NewStackHeader(node);
        if (!h) {
            loose->AppendNode(node);
            return 1;
        }
        other->AddSupportNode(h);
        return 1;
    }
    if (otherNode->owner && !otherNode->owner->isLooseList) {
        otherNode->owner->AppendNode(node);
    } else {
        RbStackHeader* h = sim->NewStackHeader(node);
        if (!h) {
            loose->AppendNode(node);
            return 1;
        }
        if (otherNode->owner) otherNode->owner->UnlinkNode(otherNode);
        h->AppendNode(otherNode);
    }
    WakeUnlessInSet(other);
    return 1;
}

int RbRigidBody::JoinStack(const RbRestContact& candidate) {
    if (!stackNode) return CreateStackNode(candidate);
    RbSimulator* sim = owner;
    RbStackNode* node = stackNode;
    node->supportOnly = 0;
    AddRestContact(candidate);
    RbRigidBody* other = RbRigidOf(candidate.otherBody);
    if (!other) return 1;
    RbStackHeader* loose = sim->GetLooseList();
    auto isStack = [](const RbStackNode* n) { return n->owner && !n->owner->isLooseList; };

    RbStackNode* otherNode = other->stackNode;
    if (!otherNode) {
        if (isStack(node)) {
            other->AddSupportNode(node->owner);
            return 1;
        }
        if (node->owner) node->owner->UnlinkNode(node);
        RbStackHeader* h = sim->NewStackHeader(node);
        if (!h) {
            loose->AppendNode(node);
            return 1;
        }
        other->AddSupportNode(h);
        return 1;
    }
    if (isStack(otherNode)) {
        RbStackHeader* h = otherNode->owner;
        if (!isStack(node)) {
            if (node->owner) node->owner->UnlinkNode(node);
            h->AppendNode(node);
        } else if (node->owner != h) {
            h->MergeInto(node->owner);
            sim->FreeStackHeader(h);
        }
        return 1;
    }
    // The other body's node is loose.
    if (isStack(node)) {
        if (otherNode->owner) otherNode->owner->UnlinkNode(otherNode);
        node->owner->AppendNode(otherNode);
        return 1;
    }
    if (node->owner) node->owner->UnlinkNode(node);
    RbStackHeader* h = sim->NewStackHeader(node);
    if (!h) {
        loose->AppendNode(node);
        return 1;
    }
    if (otherNode->owner) otherNode->owner->UnlinkNode(otherNode);
    h->AppendNode(otherNode);
    return 1;
}

void RbRigidBody::ReleaseStackNode() {
    RbStackNode* node = stackNode;
    if (!node) return;
    if (node->owner) node->owner->UnlinkNode(node);
    if (owner) owner->GiveStackNode(node);
    stackNode = nullptr;
}

// ---------------------------------------------------------------- regrouping

void RbStackHeader::Regroup() {
    RbSimulator* sim = simulator;
    RbArray<void*>& scratch = sim->StacksToSolve();
    scratch.Clear();
    while (RbStackNode* n = firstNode) {
        UnlinkNode(n);
        // The scratch list grows while the allocator allows; a node that cannot
        // be listed stays in this stack's place as a stack of its own.
        if (!scratch.Push(n)) {
            RbStackHeader* alone = sim->NewStackHeader(n);
            if (!alone) sim->GetLooseList()->AppendNode(n);
        }
    }
    RbStackHeader* loose = sim->GetLooseList();
    int wasQueued = queued;
    for (int i = 0; i < scratch.Size(); ++i) {
        RbStackNode* node = static_cast<RbStackNode*>(scratch[i]);
        if (node->unsupported) continue;
        RbRigidBody* body = node->body;
        for (RbRestContact& r : body->rest.contacts) {
            if (r.state == 0) continue;
            RbRigidBody* other = RbRigidOf(r.otherBody);
            if (!other || !other->stackNode || other->stackNode == node) continue;
            RbStackNode* n2 = other->stackNode;
            // A body that something rests on belongs to that stack, not to the loose list.
            if (n2->owner == loose) loose->UnlinkNode(n2);
            if (!node->owner && !n2->owner) {
                RbStackHeader* h = sim->NewStackHeader(node);
                if (!h) continue;
                h->queued = wasQueued;
                h->AppendNode(n2);
            } else if (!node->owner) {
                n2->owner->AppendNode(node);
            } else if (!n2->owner) {
                node->owner->AppendNode(n2);
            } else if (node->owner != n2->owner) {
                RbStackHeader* from = node->owner;
                from->MergeInto(n2->owner);
                sim->FreeStackHeader(from);
            }
        }
    }
    for (int i = 0; i < scratch.Size(); ++i) {
        RbStackNode* node = static_cast<RbStackNode*>(scratch[i]);
        if (node->owner) continue;
        if (node->body) node->body->stackNode = nullptr;
        sim->GiveStackNode(node);
    }
    scratch.Clear();
}

void RbSimulator::UpdateStacks() {
    m_setsToSolve.Clear();
    for (RbStackHeader* h = m_stackHead; h; h = h->next) {
        h->allResting = 1;
        for (RbStackNode* n = h->firstNode; n; n = n->next) {
            if (n->body->restStatus == 0 || n->body->pushedPrevious) {
                h->allResting = 0;
                break;
            }
        }
        // A header that cannot be listed is regrouped on a later pass.
        if (!h->allResting) m_setsToSolve.Push(h);
    }

    for (int k : {0, 2}) {
        for (RbBody* b = m_lists[k][0].head; b; b = b->listNext) {
            RbRigidBody* body = static_cast<RbRigidBody*>(b);
            RbStackNode* node = body->stackNode;
            if (!node || node->supportOnly) continue;
            int supports = body->ValidateRestContacts();
            body->pushedPrevious = 0;
            if (supports == 0 && node->owner == &m_looseList) {
                m_looseList.UnlinkNode(node);
                body->stackNode = nullptr;
                GiveStackNode(node);
            }
            if (supports <= 1 && body->restStatus == 1 && !body->constraintSet) body->WakeUp();
        }
    }

    int turn = m_advanceCounter % 5;
    if (turn < 0) turn += 5;
    for (int i = 0; i < m_setsToSolve.Size(); ++i) {
        if (i % 5 != turn) continue;
        RbStackHeader* h = static_cast<RbStackHeader*>(m_setsToSolve[i]);
        // An earlier regroup of this pass may have merged this stack away.
        if (!h->inUse || h->allResting) continue;
        h->Regroup();
        FreeStackHeader(h);
    }

    for (RbStackHeader* h = m_stackHead; h;) {
        RbStackHeader* next = h->next;
        if (h->nodeCount == 0) FreeStackHeader(h);
        h = next;
    }
}

void RbSimulator::DissolveSmallStacks() {
    for (RbStackHeader* h = m_stackHead; h;) {
        RbStackHeader* next = h->next;
        if (h->nodeCount <= 1) {
            if (RbStackNode* node = h->firstNode) {
                h->UnlinkNode(node);
                if (!node->supportOnly) {
                    m_looseList.AppendNode(node);
                } else {
                    if (node->body) node->body->stackNode = nullptr;
                    GiveStackNode(node);
                }
            }
            FreeStackHeader(h);
        }
        h = next;
    }
}

// ---------------------------------------------------------------- islands

void RbStackNode::Visit(int link) {
    visited = 1;
    RbSimulator* sim = body->owner;
    RbConstraintSet* island = sim->GetIslandSet();
    for (RbRestContact& r : body->rest.contacts) {
        if (r.state == 0) continue;
        RbRigidBody* other = RbRigidOf(r.otherBody);
        if (!other || !other->stackNode || other->stackNode->visited) continue;
        if (link && !other->constraintSet) island->LinkBody(other);
        if (!other->stackNode->supportOnly) other->stackNode->Visit(link);
    }
    body->BuildRestRows(link);
}

void RbStackHeader::MarkIsland() {
    RbConstraintSet* island = simulator->GetIslandSet();
    for (RbStackNode* n = firstNode; n; n = n->next) n->visited = 0;
    for (RbStackNode* n = firstNode; n; n = n->next) {
        if (n->visited) continue;
        if (!n->body->constraintSet) island->LinkBody(n->body);
        if (!n->supportOnly) n->Visit(1);
    }
}

// ---------------------------------------------------------------- constraint sets

void RbConstraintSet::LinkBody(RbBody* body) {
    body->constraintSet = this;
    RbListAppend<RbBody, &RbBody::setNext, &RbBody::setPrev>(firstBody, lastBody, body);
    ++bodyCount;
}

void RbConstraintSet::UnlinkBody(RbBody* body) {
    if (body->constraintSet != this) return;
    RbListUnlink<RbBody, &RbBody::setNext, &RbBody::setPrev>(firstBody, lastBody, body);
    body->constraintSet = nullptr;
    if (bodyCount > 0) --bodyCount;
}

int RbConstraintSet::AllAtRest() {
    for (RbBody* b = firstBody; b; b = b->setNext) {
        RbRigidBody* body = RbRigidOf(b);
        if (body && !body->AtRestPose()) return 0;
    }
    return 1;
}

void RbConstraintSet::RestBodies(int checkReadiness) {
    for (RbBody* b = firstBody; b; b = b->setNext) {
        RbRigidBody* body = RbRigidOf(b);
        if (!body) continue;
        if (checkReadiness && !body->SupportsHeld()) continue;
        body->SetResting();
    }
}

void RbConstraintSet::WakeBodies() {
    for (RbBody* b = firstBody; b; b = b->setNext) {
        RbRigidBody* body = RbRigidOf(b);
        if (body && body->restStatus != 0) {
            body->restStatus = 0;
            body->RefreshGravityForce();
        }
    }
}

void RbConstraintSet::Reset() {
    for (RbBody* b = firstBody; b;) {
        RbBody* next = b->setNext;
        b->setNext = b->setPrev = nullptr;
        if (b->constraintSet == this) b->constraintSet = nullptr;
        b = next;
    }
    joints = nullptr;
    visited = 0;
    firstBody = lastBody = nullptr;
    bodyCount = 0;
}
