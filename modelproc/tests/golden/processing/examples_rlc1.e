#Hclass	rlc
#Hversion	1

#DParam 	4
	#real	src`f
	#real	res`r
	#real	ind`i
	#real	cap`c

#DIncond	2
	#real	node`p[3].e_indep_state	ind`p.e_indep_state_ic
	#real	node`p[4].f_indep_state	cap`p.f_indep_state_ic

#DVariable	6
	#real	src`p.e	node`p[1].e
	#real	src`p.f	node`p[1].f
	#real	node`p[4].e	cap`p.e
	#real	node`p[3].f	ind`p.f
	#real	node`p[2].e	res`p.e
	#real	node`p[2].f	res`p.f

#Dstate_ind	2
	#real	node`p[3].e_indep_state	ind`p.e_indep_state
	#real	node`p[4].f_indep_state	cap`p.f_indep_state

#DRate_ind	2
	#real	node`p[3].e	ind`p.e
	#real	node`p[4].f	cap`p.f

#EInitial	1
    V1 = P0

#Edynamic	8
    V3 = s0 / P2
    V2 = s1 / P3
    R0 = V2
    V5 = V2 / P1
    R1 = V1 + (-V5 + -V3)

#Eoutputs	2
    V0 = V2
    V4 = V2
