"""Several Python threads using the module at once, each with its own objects and all sharing
read-only ones, get exactly the results of a single thread."""
import os
import sys
import time
import threading

import pytest

from helpers import (FORMATS, GEN_CONFIG, LTM_TEXT, POOL_TEXT, SNATPOOL_TEXT, VIRTUAL_TEXT, generate_listing, read,
                     write)
from quilvarn import LTM, LtmPath, Pool, SnatPool, Virtual, partition

THREADS = 8
ROUNDS = 50


def own_objects(index):
    """Builds, changes, writes and reads back objects of its own; returns what it saw."""
    seen = []
    ltm = LTM(LTM_TEXT)
    pool = Pool(POOL_TEXT)
    pool.description = f"pool of thread {index}"
    pool.members = pool.members[::-1]
    virtual = Virtual(VIRTUAL_TEXT)
    virtual.vlans = [f"vlan{index}", "shared"]
    virtual.pool = f"/Common/pool{index}"
    snat_pool = SnatPool(SNATPOOL_TEXT)
    snat_pool.members = snat_pool.members + [f"10.9.9.{index}"]
    ltm.pools = ltm.pools + [pool]
    ltm.virtual_servers = [virtual]
    ltm.snat_pools = [snat_pool]
    ltm.partitions = ltm.partitions + [partition(f"auth partition T{index} {{\n}}\n")]
    for fmt in FORMATS:
        text = write(ltm, fmt)
        back = read(LTM, fmt, text)
        seen.append((text, back.to_dict()))
    seen.append(ltm.to_dict())
    seen.append([LtmPath(f"/T{index}/10.0.0.{index}%{index}:{80 + index}").get_full_path() for _ in range(3)])
    for text in ["ltm pool p {", "", "x" * 1000]:
        try:
            Pool(text)
        except RuntimeError as error:
            seen.append(str(error))
    return seen


SHARED_LTM = LTM(LTM_TEXT)
SHARED_PATH = LtmPath("/Tenant/10.1.10.1%2:80")


def shared_objects(index):
    """Reads the shared objects; `index` only varies the argument texts."""
    seen = [write(SHARED_LTM, fmt) for fmt in FORMATS]
    seen.append([p.to_dict() for p in SHARED_LTM.pools])
    seen.append([(v.name.get_val(), v.destination.get_port(), v.profiles[0].name) for v in SHARED_LTM.virtual_servers])
    seen.append((SHARED_PATH.get_partition(), SHARED_PATH.get_route_domain(), SHARED_PATH.get_port(),
                 SHARED_PATH.get_full_path(f"P{index}")))
    return seen


@pytest.fixture
def fast_switching():
    # Hand the interpreter lock over as often as possible to interleave the threads' calls.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


@pytest.mark.parametrize("work", [own_objects, shared_objects])
def test_threads_see_what_one_thread_sees(work, fast_switching):
    expected = [work(index) for index in range(THREADS)]
    results = [[] for _ in range(THREADS)]
    errors = []
    start = threading.Barrier(THREADS)

    def run(index):
        try:
            start.wait()
            for _ in range(ROUNDS):
                results[index].append(work(index))
        except BaseException as error:  # reported below, in the test's own thread
            errors.append(error)

    threads = [threading.Thread(target=run, args=(index,)) for index in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not any(thread.is_alive() for thread in threads)
    assert errors == []
    for index in range(THREADS):
        assert results[index] == [expected[index]] * ROUNDS
    if work is own_objects:
        # Each thread's results are its own: the threads did not all see one object.
        assert len({repr(e) for e in expected}) == THREADS


# ---- The worker count and the interpreter lock ------------------------------------------------------

def large_listing(copies):
    """A listing of `copies` numbered copies of the shared objects, several MB for 2,000 copies."""
    return "".join(LTM_TEXT.replace("pool_app", f"pool_app{k}").replace("vs_web", f"vs_web{k}")
                   for k in range(copies))


@pytest.fixture
def threads_variable(monkeypatch):
    """Sets QUILVARN_THREADS for one test; the module reads it at every parse."""
    def set_to(value):
        if value is None:
            monkeypatch.delenv("QUILVARN_THREADS", raising=False)
        else:
            monkeypatch.setenv("QUILVARN_THREADS", value)
    return set_to


def test_the_thread_count_gives_the_same_result_and_bad_values_are_ignored(threads_variable):
    text = large_listing(2500)
    assert len(text) > 4 << 20  # read in pieces unless one thread is asked for
    threads_variable("1")
    single = LTM(text).to_json()
    for value in [None, "2", "8", "64", "", "0", "-3", "eight", "1.5", "100000000000000000000"]:
        threads_variable(value)
        assert LTM(text).to_json() == single, value
        assert LTM.from_json(single).to_json() == single, value


@pytest.mark.skipif(not GEN_CONFIG.exists(), reason="the listing generator is not beside the repository")
def test_a_generated_listing_reads_alike_on_any_number_of_threads(threads_variable):
    # About 26 MB: each of two pieces holds thousands of virtual servers and pools, more than a
    # piece keeps in one block of its lists.
    text = generate_listing("--megabytes", "30")
    threads_variable("1")
    single = LTM(text)
    assert len(single.virtual_servers) > 10000 and len(single.pools) > 5000
    single = single.to_json()
    for value in ["2", "3", "8"]:
        threads_variable(value)
        assert LTM(text).to_json() == single, value


# Lines that begin an object's first line without beginning an object, and an object whose first
# line does not begin a line: the pieces' counts of first lines then differ from what they parse.
MISCOUNTED = {
    "a first line inside a rule": "ltm rule /Common/r{k} {{\nwhen HTTP_REQUEST {{\nltm virtual /Common/fake{k} {{ }}\n}}\n}}\n",
    "an indented object": "  ltm virtual /Common/indented{k} {{\n    destination /Common/10.0.0.{k}:80\n    mask 255.255.255.255\n}}\n",
    "an object that does not parse": "ltm pool /Common/broken{k} {{\n    members {{ /Common/10.0.0.1:80 {{ address }}\n}}\n",
    "a partition named Common": "auth partition Common {{\n    description \"again {k}\"\n}}\n",
}


def first_lines(text, header):
    return sum(1 for line in text.splitlines() if line.startswith(header))


@pytest.mark.parametrize("shape", sorted(MISCOUNTED))
def test_listings_whose_counts_mislead_read_alike_on_any_number_of_threads(threads_variable, shape):
    text = "".join(LTM_TEXT.replace("pool_app", f"pool_app{k}").replace("vs_web", f"vs_web{k}")
                   + (MISCOUNTED[shape].format(k=k) if k % 97 == 0 else "") for k in range(2500))
    assert len(text) > 4 << 20
    threads_variable("1")
    single = LTM(text)
    counted = (first_lines(text, "ltm virtual "), first_lines(text, "ltm pool "), first_lines(text, "auth partition ") + 1)
    assert counted != (len(single.virtual_servers), len(single.pools), len(single.partitions))
    single = single.to_json()
    for value in ["2", "3", "8"]:
        threads_variable(value)
        assert LTM(text).to_json() == single, value


def counting_while(call):
    """Runs call() while another thread counts; the share of the call's milliseconds in which the
    other thread counted."""
    stamps = []
    stop = threading.Event()

    def count():
        while not stop.is_set():
            stamps.append(time.perf_counter())

    counter = threading.Thread(target=count)
    counter.start()
    while not stamps:
        time.sleep(0.001)
    switch = sys.getswitchinterval()
    sys.setswitchinterval(0.0005)
    try:
        start = time.perf_counter()
        result = call()
        end = time.perf_counter()
    finally:
        sys.setswitchinterval(switch)
        stop.set()
        counter.join()
    milliseconds = {int((t - start) * 1000) for t in stamps if start < t < end}
    return result, len(milliseconds) / max(1, int((end - start) * 1000))


@pytest.mark.parametrize("reader", ["text", "json", "yaml", "toml"])
def test_large_inputs_are_read_without_the_interpreter_lock(threads_variable, reader):
    threads_variable("1")  # one thread, so that the call lasts
    text = large_listing(4000)
    if reader != "text":
        text = write(LTM(text), reader)
    once = (lambda: LTM(text)) if reader == "text" else (lambda: read(LTM, reader, text))
    results, share = counting_while(lambda: [once() for _ in range(4)])
    assert [len(result.pools) for result in results] == [4000] * 4
    # Holding the lock, the call lets the counter in at its start and end only (under a tenth of
    # its milliseconds); without it, the counter runs through most of the call on an idle machine.
    assert share > 0.3, share


def test_the_environment_changed_on_another_thread_while_large_texts_read(threads_variable):
    # The thread count is read with the interpreter lock held, before a large text is read
    # without it: the writes of os.environ on another thread, which grow and move the process's
    # environment, never meet that read.
    text = large_listing(2500)
    threads_variable("1")
    expected = LTM(text).to_json()
    stop = threading.Event()

    def change():
        k = 0
        while not stop.is_set():
            os.environ["QUILVARN_THREADS"] = str(k % 8 + 1)
            os.environ[f"QV_TEST_FILLER_{k % 64}"] = "x" * (k % 200)
            k += 1

    changer = threading.Thread(target=change)
    changer.start()
    try:
        results = [LTM(text).to_json() == expected for _ in range(20)]
    finally:
        stop.set()
        changer.join()
        for k in range(64):
            os.environ.pop(f"QV_TEST_FILLER_{k}", None)
    assert results == [True] * 20


def test_values_read_from_a_text_outlive_it():
    text = large_listing(1000)
    expected = LTM(text).to_json()
    ltm = LTM(text)
    pools = ltm.pools
    del text
    import gc
    gc.collect()
    assert ltm.to_json() == expected
    assert [p.name.get_val() for p in pools[:2]] == ["pool_app0", "pool_app1"]
    assert LTM.from_json(expected).to_json() == expected


@pytest.mark.parametrize("threads", ["1", "8"])
def test_results_of_large_texts_are_changed_and_freed_on_other_threads(threads_variable, threads):
    # A large text's records are built on the parse's threads and kept in memory of that parse;
    # other threads change their lists, drop them and free them, in any order.
    threads_variable(threads)
    text = large_listing(600)
    expected = LTM(text).to_json()
    results = [LTM(text) for _ in range(THREADS)]
    documents = [LTM.from_json(expected) for _ in range(THREADS)]

    def work(index):
        ltm, document = results[index], documents[index]
        seen = [ltm.to_json() == expected, document.to_json() == expected]
        pools = ltm.pools
        for pool in pools[index::3]:
            pool.members = pool.members[::-1] + pool.members[:1]
        ltm.pools = pools[::-1]
        servers = document.virtual_servers
        for server in servers:
            server.vlans = server.vlans + [f"vlan{index}"]
        document.virtual_servers = servers[: len(servers) // 2]
        seen.append((len(ltm.pools), ltm.pools[-1].name.get_val(), len(document.virtual_servers),
                     document.virtual_servers[0].vlans[-1]))
        results[index] = documents[index] = None  # the last references: freed on this thread
        return seen

    outcomes = [None] * THREADS
    workers = [threading.Thread(target=lambda i=i: outcomes.__setitem__(i, work(i))) for i in range(THREADS)]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    count = len(LTM(text).pools)
    servers = len(LTM(text).virtual_servers)
    assert outcomes == [[True, True, (count, "pool_app0", servers // 2, f"vlan{i}")] for i in range(THREADS)]
