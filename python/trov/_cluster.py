"""fitness_many's traits over a dask.distributed cluster: each trait one task, its outcome the library's
plain values (a dict of numbers and arrays, or the refusal's (code, text)), from which the caller
builds the result objects as it does those of a serial run."""

import uuid

from . import _core
from ._fitness import _own_cases, _settings


def analyse_trait(x, shared, call):
    """On a worker: the library's outcome of one trait (its missing cases left out) against the shared
    columns (y, n, covariate), with the settings of `call` (model, lnlambda, options)."""
    settings, workers, _ = _settings(call["model"], call["lnlambda"], call["options"])
    return _core.analyse(*_own_cases(x, *shared), settings, workers)


def analyse_on_cluster(client, traits_array, shared, call, progress):
    """The outcomes of the traits (rows) in order, each computed by a task on the cluster of `client`;
    a task that failed gives its exception. progress(done, total) as tasks finish. On an exception here
    (Ctrl-C) the tasks not yet run are cancelled."""
    from distributed import as_completed

    if not callable(getattr(client, "submit", None)):
        raise TypeError(f"client must be a dask.distributed Client, not {client!r}")
    total = len(traits_array)
    if not total:
        return []
    # sent to each worker once, not with every task; a key of its own, which no other call shares
    [shared_data] = client.scatter([shared], hash=False)
    run = uuid.uuid4().hex  # task keys of this call's own, as the dashboard shows them
    futures = {client.submit(analyse_trait, x, shared_data, call, key=f"trov-trait-{k}-{run}"): k
               for k, x in enumerate(traits_array)}
    outcomes = [None] * total
    try:
        for done, future in enumerate(as_completed(futures), start=1):
            k = futures[future]
            try:
                outcomes[k] = future.result()
            except Exception as error:  # this trait's failure (its worker's); the others go on
                outcomes[k] = error
            if progress is not None:
                progress(done, total)
    except BaseException:
        client.cancel(list(futures))
        raise
    return outcomes
