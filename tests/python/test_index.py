import pytest

from Corridex import Index

MAX = 2**64 - 1


def test_defaults_keywords_and_fields():
    assert (Index().row, Index().col) == (0, 0)
    index = Index(col=14, row=3)
    assert repr(index) == "3,14"
    index.row, index.col = MAX, 7
    assert repr(index) == f"{MAX},7"
    assert repr(Index(5)) == "5,0", "the first positional argument is the row"


@pytest.mark.parametrize(
    "args",
    [(-1, 0), (0, -1), (1.0, 0), ("1", 0), (None, 0), (2**64, 0)],
    ids=["negative-row", "negative-col", "float", "string", "none", "too-large"],
)
def test_rejects_values_outside_unsigned_64_bits(args):
    with pytest.raises(TypeError, match="incompatible constructor arguments"):
        Index(*args)


@pytest.mark.parametrize("value", [-1, 2**64, 0.5])
def test_field_assignment_is_checked(value):
    index = Index()
    with pytest.raises(TypeError):
        index.row = value
    assert index.row == 0


def test_equality_compares_both_fields():
    assert Index(1, 2) == Index(1, 2)
    assert not (Index(1, 2) != Index(1, 2))
    assert Index(1, 2) != Index(2, 1)
    assert not (Index(1, 2) == Index(2, 1))


@pytest.mark.parametrize("other", [5, (1, 2), None, "1,2"], ids=["int", "tuple", "none", "str"])
def test_comparing_with_another_type_raises(other):
    with pytest.raises(TypeError):
        Index(1, 2) == other  # noqa: B015
    with pytest.raises(TypeError):
        Index(1, 2) != other  # noqa: B015


def test_not_hashable():
    with pytest.raises(TypeError):
        hash(Index())
    with pytest.raises(TypeError):
        {Index(): 1}


def test_returned_cells_are_full_index_objects():
    """Result lists make their Index objects directly; they must behave like constructed ones."""
    import copy
    import gc
    import pickle
    import weakref

    from Corridex import BreadthFirstSearch

    grid = [[True] * 4 for _ in range(3)]
    solver = BreadthFirstSearch(grid, Index(0, 0), Index(2, 3))
    solver.solve()
    route, visited = solver.SrcToDestPath(), solver.TraversedNodes()
    assert all(type(cell) is Index for cell in route + visited)
    assert (repr(route[0]), repr(route[-1])) == ("2,3", "0,0")
    assert route[0] == Index(2, 3) and route[0] != route[-1]
    with pytest.raises(TypeError):
        hash(route[0])

    # It is as initialised as any other, and copies and pickles by value.
    with pytest.raises(TypeError, match="already initialised"):
        route[0].__init__(5, 5)
    assert route[0] == Index(2, 3)
    assert pickle.loads(pickle.dumps(route[0])) == route[0]
    assert copy.copy(route[0]) == route[0] and copy.copy(route[0]) is not route[0]

    # A returned cell can be changed, and handed back as an argument.
    route[-1].row, route[-1].col = 1, 1
    again = BreadthFirstSearch(grid, route[-1], route[0])
    again.solve()
    assert again.SrcToDestDistance() == 3

    # Each is owned by its list alone: dropping the list frees it.
    probe = weakref.ref(visited[5])
    del visited
    gc.collect()
    assert probe() is None
