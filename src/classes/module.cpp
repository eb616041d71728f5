// The module `quilvarn`: its definition, its one-time initialisation (the registration of its
// classes, in the order of the registration table, as module attributes and entries of `__all__`,
// then one reading of a small listing) and its entry point.
#include <atomic>
#include <string>
#include <string_view>

#include <brelmark/at_once.hpp>

#include "classes/classes.hpp"
#include "py/class.hpp"

namespace qv {
namespace {

struct Registration {
  const char* name;
  PyTypeObject* (*type)();
};

template <py::ModelClass T>
constexpr Registration registration() {
  return {py::ClassInfo<T>::name, &py::Class<T>::type};
}

// The registered classes in registration order: LTM, partition, PoolMember, MemberFqdn, Pool,
// Virtual, Snat, SnatPool, LtmPath. A class is added here by one line, in its place in that order,
// once it exists. Profile is a class of the module but never registered.
constexpr Registration kRegistrations[] = {
    registration<ltm::LTM>(),
    registration<ltm::Partition>(),
    registration<ltm::PoolMember>(),
    registration<ltm::MemberFqdn>(),
    registration<ltm::Pool>(),
    registration<ltm::Virtual>(),
    registration<ltm::Snat>(),
    registration<ltm::SnatPool>(),
    registration<ltm::LtmPath>(),
};

// The module's `__all__`, created as an empty list when it is missing.
py::Ref module_all(PyObject* module) {
  py::Ref all = py::Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) py::raise_pending();
    PyErr_Clear();
    all = py::checked(PyList_New(0));
    py::check_status(PyObject_SetAttrString(module, "__all__", all.get()));
    return all;
  }
  if (!PyList_Check(all.get())) py::raise_cannot_convert(all.get(), "PyList");
  return all;
}

void register_class(PyObject* module, const Registration& entry) {
  PyObject* type = reinterpret_cast<PyObject*>(entry.type());
  py::Ref all = module_all(module);
  py::Ref name = py::str_from(entry.name);
  if (PyList_Append(all.get(), name.get()) < 0) {
    py::fault("could not append __name__ to __all__: " + py::take_error_description());
  }
  py::check_status(PyObject_SetAttrString(module, entry.name, type));
}

// A listing of one object of each kind the model reads, beside objects it skips.
constexpr std::string_view kWarmUpListing = R"(sys global-settings {
    hostname lb.example.com
}
auth partition Tenant {
    default-route-domain 1
    description "Tenant"
}
net vlan /Common/external {
    interfaces {
        1.1 { }
    }
    tag 4093
}
ltm node /Common/10.0.0.10 {
    address 10.0.0.10
}
ltm monitor https /Common/mon_app {
    defaults-from /Common/https
    interval 5
    send "GET /health HTTP/1.1\r\nHost: app.example.com\r\n\r\n"
}
ltm profile client-ssl /Common/clientssl_app {
    cert-key-chain {
        app_chain {
            cert /Common/app.crt
            key /Common/app.key
        }
    }
    options { dont-insert-empty-fragments no-tlsv1.3 }
}
ltm data-group internal /Common/dg_allow {
    records {
        10.1.0.0/16 {
            data "office network"
        }
        192.168.1.0/24 { }
    }
    type ip
}
ltm rule /Common/irule {
    when HTTP_REQUEST {
        if { [HTTP::host] equals "a.example.com" } {
            HTTP::redirect "https://[HTTP::host][HTTP::uri]"
        } else {
            pool /Common/pool_app
        }
    }
}
ltm pool /Common/pool_app {
    description "Application servers"
    load-balancing-mode least-connections-member
    members {
        /Common/10.0.0.10:443 {
            address 10.0.0.10
            priority-group 10
            ratio 2
            session monitor-enabled
            state up
        }
        /Common/app.example.com:80 {
            fqdn {
                autopopulate enabled
                name app.example.com
            }
        }
    }
    min-active-members 1
    monitor /Common/mon_app and /Common/gateway_icmp
}
ltm snatpool /Common/snat_app {
    members {
        /Common/172.16.1.1
    }
}
ltm virtual /Common/vs_app {
    creation-time 2024-03-11:09:14:52
    description "Front end"
    destination /Common/192.0.1.1:443
    ip-protocol tcp
    last-modified-time 2024-05-02:17:40:03
    mask 255.255.255.255
    persist {
        /Common/cookie {
            default yes
        }
    }
    policies {
        /Common/policy { }
    }
    pool /Common/pool_app
    profiles {
        /Common/http { }
        /Common/tcp {
            context clientside
        }
    }
    rules {
        /Common/irule
    }
    source 0.0.0.0/0
    source-address-translation {
        type automap
    }
    translate-address enabled
    translate-port enabled
    vlans {
        /Common/external
    }
    vlans-enabled
}
)";

// The first reading of a listing in a process would otherwise meet the code and memory of the
// parser, the converters and the class's constructor for the first time, and on some virtual
// machines the first touch of each page costs microseconds: a small listing read once here, through
// the class as Python calls it, takes that cost at import, where it is paid once, instead of in the
// first LTM(text). Three copies, so that every list of the result grows past its first element as it
// would for any listing.
void warm_up() {
  std::string text;
  for (int copy = 0; copy < 3; ++copy) text += kWarmUpListing;
  py::Ref listing = py::str_from(text);
  py::checked(PyObject_CallOneArg(reinterpret_cast<PyObject*>(py::Class<ltm::LTM>::type()), listing.get()));
}

void module_init(PyObject* module) {
  for (const Registration& entry : kRegistrations) register_class(module, entry);
  warm_up();
}

PyModuleDef quilvarn_module = {
    PyModuleDef_HEAD_INIT,
    "quilvarn",  // name
    "",          // documentation: empty, not absent
    0,           // no per-module state
    nullptr,     // no module-level functions
    nullptr,     // single-phase initialisation: no slots
    nullptr,
    nullptr,
    nullptr,
};

// Set once a module object has been created; never reset.
std::atomic<bool> initialized{false};

}  // namespace
}  // namespace qv

PyMODINIT_FUNC PyInit_quilvarn() {
  using namespace qv;
  // A thread's first throw makes the C++ runtime's per-thread state, and the C library ends the
  // process where memory has run out by then: every call makes it first.
  py::ready_thread = brelmark::thread_blocks_made;
  return py::entry<PyObject*>(nullptr, [] {
    py::Ref module = py::checked(PyModule_Create(&quilvarn_module));
    if (initialized.exchange(true)) {
      py::raise(PyExc_ImportError, "the quilvarn module may only be initialized once per interpreter process");
    }
    module_init(module.get());
    return module.release();
  });
}
